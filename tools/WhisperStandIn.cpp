// A stand-in for the recognition server: speaks its HTTP protocol as a client receives it,
// with scripted transcripts so that tests are deterministic.
//
//   murmelo-whisper-stand-in -m MODEL [-l LANG] [--host H] [--port P] [-t N] [--vad
//       --vad-model F --vad-threshold X ...] [--script-dir DIR] [--sequence FILE] [--delay-ms N]
//       [--fail-after N]
//
// GET / answers 200 (the readiness probe). POST /inference takes a multipart form with the
// WAV as the part "file" and the request fields; every request starts from the start-up
// parameters. The transcript of a WAV whose SHA-256 is H is DIR/H.txt, else DIR/default.txt,
// else empty: one segment per line, its words timed evenly across the audio. DIR is
// --script-dir, else MURMELO_WHISPER_STAND_IN_SCRIPTS (the application starts this program
// with the real server's command line, which has no script option). With --sequence (else
// MURMELO_WHISPER_STAND_IN_SEQUENCE) the n-th recognition request gets the n-th non-empty
// line of FILE as its verbose-JSON reply, word timings and probabilities as written there,
// and a reply with no segments once the lines are used up. --delay-ms delays every
// reply; --fail-after N exits (code 1) once N recognition requests have been answered.
#include "StandInArgs.h"
#include "dictation/Wav.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr qsizetype MAX_HEADER = 64 * 1024;
constexpr qsizetype MAX_BODY = 256 * 1024 * 1024;

// What a request may override; every request starts from a copy of the start-up values.
struct Params {
    QString language = QStringLiteral("en");
    QString responseFormat = QStringLiteral("json");
    double temperature = 0.0;
    int beamSize = -1;
    QString prompt;
    bool carryInitialPrompt = false;
    double vadThreshold = 0.5;
    bool vad = false;
};

struct Options {
    Params params;
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 8080;
    QString model;
    QString scriptDir;
    QString sequence;
    int delayMs = 0;
    int failAfter = 0;  // 0: never
};

bool parseBool(const QString& v) {
    const QString l = v.trimmed().toLower();
    return l == QLatin1String("true") || l == QLatin1String("1") || l == QLatin1String("yes") || l == QLatin1String("y");
}

[[noreturn]] void usage(const QString& why) { murmelo::standin::usage("murmelo-whisper-stand-in", why); }

Options parseArgs(const QStringList& args) {
    Options o;
    // Options of the real server that take a value and mean nothing to the stand-in.
    static const QStringList ignoredWithValue{QStringLiteral("-t"),
                                              QStringLiteral("--threads"),
                                              QStringLiteral("--vad-speech-pad-ms"),
                                              QStringLiteral("--vad-min-speech-duration-ms"),
                                              QStringLiteral("--vad-min-silence-duration-ms"),
                                              QStringLiteral("--vad-model"),
                                              QStringLiteral("-vm")};
    murmelo::standin::Args cli("murmelo-whisper-stand-in", args);
    cli.read([&](const QString& a) {
        if (a == QLatin1String("-m") || a == QLatin1String("--model")) o.model = cli.value();
        else if (a == QLatin1String("-l") || a == QLatin1String("--language")) o.params.language = cli.value();
        else if (a == QLatin1String("--host")) o.host = cli.value();
        else if (a == QLatin1String("--port")) o.port = cli.port(1);
        else if (a == QLatin1String("--vad")) o.params.vad = true;
        else if (a == QLatin1String("--vad-threshold") || a == QLatin1String("-vt")) o.params.vadThreshold = cli.value().toDouble();
        else if (a == QLatin1String("--script-dir")) o.scriptDir = cli.value();
        else if (a == QLatin1String("--sequence")) o.sequence = cli.value();
        else if (a == QLatin1String("--delay-ms")) o.delayMs = cli.integer(0);
        else if (a == QLatin1String("--fail-after")) o.failAfter = cli.integer(1);
        else if (ignoredWithValue.contains(a)) cli.value();
        else return false;
        return true;
    });
    if (o.model.isEmpty()) usage(QStringLiteral("no model (-m)"));
    if (!QFileInfo(o.model).isFile()) {
        std::fprintf(stderr, "error: failed to load model '%s'\n", qPrintable(o.model));
        std::exit(1);
    }
    if (o.scriptDir.isEmpty()) o.scriptDir = qEnvironmentVariable("MURMELO_WHISPER_STAND_IN_SCRIPTS");
    if (o.sequence.isEmpty()) o.sequence = qEnvironmentVariable("MURMELO_WHISPER_STAND_IN_SEQUENCE");
    return o;
}

QString languageName(const QString& code) {
    static const QHash<QString, QString> names{
        {"en", "english"}, {"ru", "russian"},   {"de", "german"},     {"es", "spanish"},   {"fr", "french"},
        {"it", "italian"}, {"pt", "portuguese"}, {"nl", "dutch"},     {"pl", "polish"},    {"uk", "ukrainian"},
        {"tr", "turkish"}, {"id", "indonesian"}, {"vi", "vietnamese"}, {"ja", "japanese"}, {"ar", "arabic"}};
    return names.value(code, code);
}

struct Part {
    QString name, filename;
    QByteArray data;
};

// The parts of a multipart body; none when the body is not well-formed.
std::optional<QList<Part>> parseMultipart(const QByteArray& body, const QByteArray& boundary) {
    const QByteArray delimiter = "--" + boundary;
    QList<Part> parts;
    qsizetype at = body.indexOf(delimiter);
    if (at < 0) return std::nullopt;
    for (;;) {
        at += delimiter.size();
        if (body.mid(at, 2) == "--") return parts;
        if (body.mid(at, 2) != "\r\n") return std::nullopt;
        at += 2;
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", at);
        if (headersEnd < 0) return std::nullopt;
        const QByteArray headers = body.mid(at, headersEnd - at);
        const qsizetype dataStart = headersEnd + 4;
        const qsizetype next = body.indexOf("\r\n" + delimiter, dataStart);
        if (next < 0) return std::nullopt;
        Part part;
        part.data = body.mid(dataStart, next - dataStart);
        for (const QByteArray& line : headers.split('\n')) {
            const QString l = QString::fromUtf8(line).trimmed();
            if (!l.startsWith(QLatin1String("Content-Disposition:"), Qt::CaseInsensitive)) continue;
            static const QRegularExpression name(QStringLiteral("\\bname=\"([^\"]*)\""));
            static const QRegularExpression file(QStringLiteral("\\bfilename=\"([^\"]*)\""));
            if (const auto m = name.match(l); m.hasMatch()) part.name = m.captured(1);
            if (const auto m = file.match(l); m.hasMatch()) part.filename = m.captured(1);
        }
        parts << part;
        at = next + 2;
    }
}

struct Reply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    bool recognition = false;
};

Reply jsonError(int status, const QString& message) {
    return {status, "application/json",
            QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact), false};
}

class StandIn : public QObject {
public:
    explicit StandIn(Options o) : options_(std::move(o)) {}

    bool listen() {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) serve(socket);
        });
        return server_.listen(QHostAddress(options_.host), options_.port);
    }
    quint16 port() const { return server_.serverPort(); }

private:
    void serve(QTcpSocket* socket) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    }

    void readFrom(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (buffer.size() > MAX_HEADER) finish(socket, jsonError(431, QStringLiteral("headers too large")));
            return;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) {
            finish(socket, jsonError(400, QStringLiteral("malformed request line")));
            return;
        }
        QHash<QByteArray, QByteArray> headers;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        if (headers.contains("transfer-encoding")) {
            finish(socket, jsonError(411, QStringLiteral("a Content-Length is required")));
            return;
        }
        bool ok = true;
        const qsizetype length = headers.contains("content-length") ? headers.value("content-length").toLongLong(&ok) : 0;
        if (!ok || length < 0 || length > MAX_BODY) {
            finish(socket, jsonError(413, QStringLiteral("bad or too large Content-Length")));
            return;
        }
        if (buffer.size() - headerEnd - 4 < length) {
            // Clients such as curl hold a large body back until told to go on.
            if (headers.value("expect").toLower() == "100-continue" && !continued_.contains(socket)) {
                continued_.insert(socket);
                socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
            return;
        }
        const QByteArray body = buffer.mid(headerEnd + 4, length);
        buffers_.remove(socket);
        socket->disconnect(this);
        const QByteArray method = requestLine[0];
        const QByteArray path = requestLine[1];
        Reply reply;
        if (path == "/" && method == "GET")
            reply = {200, "text/html; charset=utf-8", "<html><body>murmelo whisper stand-in</body></html>\n", false};
        else if (path == "/inference" && method == "POST")
            reply = inference(headers.value("content-type"), body);
        else
            reply = jsonError(404, QStringLiteral("not found"));
        if (options_.delayMs > 0) {
            QPointer<QTcpSocket> guard(socket);
            QTimer::singleShot(options_.delayMs, this, [this, guard, reply] {
                if (guard) finish(guard, reply);
            });
            return;
        }
        finish(socket, reply);
    }

    void finish(QTcpSocket* socket, const Reply& reply) {
        buffers_.remove(socket);
        continued_.remove(socket);
        socket->disconnect(this);
        QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\n";
        out += "Content-Type: " + reply.contentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n";
        out += reply.body;
        socket->write(out);
        socket->disconnectFromHost();
        if (reply.recognition && options_.failAfter > 0 && ++answered_ >= options_.failAfter) {
            if (socket->state() != QAbstractSocket::UnconnectedState) socket->waitForDisconnected(2000);
            std::fprintf(stdout, "stand-in: exiting after %d requests (--fail-after)\n", answered_);
            std::fflush(stdout);
            std::_Exit(1);
        }
    }

    static QByteArray reason(int status) {
        switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 411: return "Length Required";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        default: return "Error";
        }
    }

    Reply inference(const QByteArray& contentType, const QByteArray& body) {
        static const QRegularExpression boundaryRe(QStringLiteral("boundary=\"?([^\";]+)\"?"));
        const auto m = boundaryRe.match(QString::fromLatin1(contentType));
        if (!contentType.startsWith("multipart/form-data") || !m.hasMatch())
            return jsonError(400, QStringLiteral("expected multipart/form-data"));
        const auto parts = parseMultipart(body, m.captured(1).toLatin1());
        if (!parts) return jsonError(400, QStringLiteral("malformed multipart body"));
        Params p = options_.params;
        const Part* file = nullptr;
        QString vadField;  // as the request sent it
        for (const Part& part : *parts) {
            const QString v = QString::fromUtf8(part.data);
            if (part.name == QLatin1String("file")) file = &part;
            else if (part.name == QLatin1String("response_format")) p.responseFormat = v;
            else if (part.name == QLatin1String("temperature")) p.temperature = v.toDouble();
            else if (part.name == QLatin1String("beam_size")) p.beamSize = v.toInt();
            else if (part.name == QLatin1String("language")) p.language = v;
            else if (part.name == QLatin1String("prompt")) p.prompt = v;
            else if (part.name == QLatin1String("carry_initial_prompt")) p.carryInitialPrompt = parseBool(v);
            else if (part.name == QLatin1String("vad_threshold")) {
                p.vadThreshold = v.toDouble();
                vadField = v;
            }
        }
        if (!file) return jsonError(400, QStringLiteral("no 'file' field in the request"));
        const auto payload = murmelo::wavPCM16PayloadRange(file->data);
        if (!payload) return jsonError(400, QStringLiteral("failed to read WAV file"));
        const quint32 byteRate = qFromLittleEndian<quint32>(file->data.constData() + 28);
        const double duration = byteRate > 0 ? double(payload->size()) / double(byteRate) : 0.0;
        const QByteArray sha = QCryptographicHash::hash(file->data, QCryptographicHash::Sha256).toHex();
        std::fprintf(stdout, "stand-in: processing '%s' (%lld bytes, sha256 %s, %s)\n", qPrintable(file->filename),
                     qlonglong(file->data.size()), sha.constData(), qPrintable(p.responseFormat));
        std::fflush(stdout);
        if (!options_.sequence.isEmpty()) return sequenceReply(vadField);
        return transcript(p, script(sha), duration);
    }

    Reply sequenceReply(const QString& vadField) {
        QFile f(options_.sequence);
        QList<QByteArray> replies;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty()) replies << line.trimmed();
        const int n = sequenceIndex_++;
        std::fprintf(stdout, "stand-in: sequence reply %d, vad_threshold %s\n", n + 1,
                     vadField.isEmpty() ? "none" : qPrintable(vadField));
        std::fflush(stdout);
        Reply reply;
        reply.recognition = true;
        reply.body = n < replies.size() ? replies[n] : QByteArray(R"({"text":"","segments":[]})");
        return reply;
    }

    QStringList script(const QByteArray& sha) const {
        if (options_.scriptDir.isEmpty()) return {};
        const QDir dir(options_.scriptDir);
        for (const QString& name : {QString::fromLatin1(sha) + QStringLiteral(".txt"), QStringLiteral("default.txt")}) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            QStringList lines;
            for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n'))
                if (!line.trimmed().isEmpty()) lines << line.trimmed();
            return lines;
        }
        return {};
    }

    Reply transcript(const Params& p, const QStringList& lines, double duration) const {
        QString full;
        for (const QString& line : lines) full += u' ' + line;
        Reply reply;
        reply.recognition = true;
        if (p.responseFormat == QLatin1String("text")) {
            reply.contentType = "text/plain; charset=utf-8";
            reply.body = full.toUtf8() + '\n';
            return reply;
        }
        if (p.responseFormat != QLatin1String("verbose_json")) {
            reply.body = QJsonDocument(QJsonObject{{QStringLiteral("text"), full}}).toJson(QJsonDocument::Compact);
            return reply;
        }
        // Words share the audio evenly, in reading order across all segments.
        qsizetype wordTotal = 0;
        for (const QString& line : lines) wordTotal += line.split(u' ', Qt::SkipEmptyParts).size();
        const double step = wordTotal > 0 ? duration / double(wordTotal) : 0.0;
        auto round2 = [](double v) { return std::round(v * 100.0) / 100.0; };
        QJsonArray segments;
        qsizetype index = 0;
        bool cyrillic = false;
        for (qsizetype s = 0; s < lines.size(); ++s) {
            const QStringList words = lines[s].split(u' ', Qt::SkipEmptyParts);
            const double start = round2(double(index) * step);
            QJsonArray wordArray, tokens;
            for (const QString& w : words) {
                for (QChar c : w) cyrillic = cyrillic || (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF);
                wordArray.append(QJsonObject{{QStringLiteral("word"), u' ' + w},
                                             {QStringLiteral("start"), round2(double(index) * step)},
                                             {QStringLiteral("end"), round2(double(index + 1) * step)},
                                             {QStringLiteral("probability"), 0.9}});
                tokens.append(int(50365 + index));
                ++index;
            }
            segments.append(QJsonObject{{QStringLiteral("id"), int(s)},
                                        {QStringLiteral("text"), u' ' + lines[s]},
                                        {QStringLiteral("start"), start},
                                        {QStringLiteral("end"), round2(double(index) * step)},
                                        {QStringLiteral("tokens"), tokens},
                                        {QStringLiteral("words"), wordArray},
                                        {QStringLiteral("temperature"), p.temperature},
                                        {QStringLiteral("avg_logprob"), -0.2},
                                        {QStringLiteral("no_speech_prob"), 0.01}});
        }
        const bool detect = p.language == QLatin1String("auto");
        const QString code = detect ? (cyrillic ? QStringLiteral("ru") : QStringLiteral("en")) : p.language;
        QJsonObject object{{QStringLiteral("task"), QStringLiteral("transcribe")},
                           {QStringLiteral("language"), languageName(code)},
                           {QStringLiteral("duration"), duration},
                           {QStringLiteral("text"), full},
                           {QStringLiteral("segments"), segments}};
        if (detect) object.insert(QStringLiteral("detected_language_probability"), 0.95);
        reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
        return reply;
    }

    Options options_;
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QSet<QTcpSocket*> continued_;
    int answered_ = 0;
    int sequenceIndex_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    StandIn standIn(parseArgs(app.arguments()));
    if (!standIn.listen()) {
        std::fprintf(stderr, "error: couldn't bind the port\n");
        return 1;
    }
    std::fprintf(stdout, "stand-in: listening at http://127.0.0.1:%u\n", unsigned(standIn.port()));
    std::fflush(stdout);
    return app.exec();
}
