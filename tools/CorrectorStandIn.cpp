// A stand-in for the corrector server: speaks its protocol so that polish has a corrector on a
// machine without the model.
//
//   murmelo-corrector-stand-in --port P --model-dir DIR [--host H] [--script FILE]
//
// GET / answers 200 once listening (the readiness probe). POST /correct takes the raw UTF-8
// text as its body and answers the corrected text. With a script (--script, else
// MURMELO_CORRECTOR_STAND_IN_SCRIPT), a text listed there gets its scripted answer: one pair
// a line, input and output separated by a tab; other texts come back unchanged, so that
// tests are deterministic. Without a script the answer is rule-based: spaces around
// punctuation mended, sentences start with a capital and end with a stop, and an English
// word the spell checker does not know is replaced by its first suggestion. DIR must hold
// "model.bin" and "tokenizer.json", as the real server needs them.
#include "StandInArgs.h"
#include "StandInHttp.h"
#include "linux/HunspellSpellChecker.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr qsizetype MAX_HEADER = 64 * 1024;
constexpr qsizetype MAX_BODY = 1024 * 1024;

struct Options {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 8911;
    QString modelDir;
    QString script;
};

[[noreturn]] void usage(const QString& why) { murmelo::standin::usage("murmelo-corrector-stand-in", why); }

Options parseArgs(const QStringList& args) {
    Options o;
    murmelo::standin::Args cli("murmelo-corrector-stand-in", args);
    cli.read([&](const QString& a) {
        if (a == QLatin1String("--port")) o.port = cli.port(1);
        else if (a == QLatin1String("--model-dir")) o.modelDir = cli.value();
        else if (a == QLatin1String("--host")) o.host = cli.value();
        else if (a == QLatin1String("--script")) o.script = cli.value();
        else return false;
        return true;
    });
    if (o.modelDir.isEmpty()) usage(QStringLiteral("no model folder (--model-dir)"));
    for (const char* file : {"model.bin", "tokenizer.json"})
        if (!QFileInfo(o.modelDir + u'/' + QLatin1String(file)).isFile()) {
            std::fprintf(stderr, "error: no %s in %s\n", file, qPrintable(o.modelDir));
            std::exit(1);
        }
    if (o.script.isEmpty()) o.script = qEnvironmentVariable("MURMELO_CORRECTOR_STAND_IN_SCRIPT");
    return o;
}

QHash<QString, QString> readScript(const QString& path) {
    QHash<QString, QString> pairs;
    if (path.isEmpty()) return pairs;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "error: cannot read script %s\n", qPrintable(path));
        std::exit(1);
    }
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        const qsizetype tab = line.indexOf(u'\t');
        if (tab > 0) pairs.insert(line.left(tab), line.mid(tab + 1));
    }
    return pairs;
}

bool isLatinWord(const QString& w) {
    for (QChar c : w)
        if (c.unicode() > 0x7F || !c.isLetter()) return false;
    return !w.isEmpty();
}

// Rule-based punctuation and capitalisation, with spelling suggestions for English words.
QString correct(const QString& input, murmelo::SpellChecker& speller) {
    QString text = input.simplified();
    if (text.isEmpty()) return input;
    static const QRegularExpression spaceBefore(QStringLiteral("\\s+([,.;:!?…])"));
    static const QRegularExpression noSpaceAfter(QStringLiteral("([,;:!?…]|\\.(?!\\d))(?=[^\\s\\d,.;:!?…)\"»])"));
    text.replace(spaceBefore, QStringLiteral("\\1"));
    text.replace(noSpaceAfter, QStringLiteral("\\1 "));

    static const QRegularExpression word(QStringLiteral("[A-Za-z]+"));
    QString spelled;
    qsizetype at = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        spelled += text.mid(at, m.capturedStart() - at);
        QString w = m.captured();
        // Short words and words written in capitals (abbreviations) are left as they are.
        if (w.size() > 2 && w != w.toUpper() && isLatinWord(w) && !speller.accepts(w, QStringLiteral("en_US"))) {
            const QStringList guesses = speller.guesses(w, QStringLiteral("en_US"));
            if (!guesses.isEmpty()) w = guesses.first();
        }
        spelled += w;
        at = m.capturedEnd();
    }
    spelled += text.mid(at);
    text = spelled;

    bool sentenceStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isLetter()) {
            if (sentenceStart) text[i] = c.toUpper();
            sentenceStart = false;
        } else if (c == u'.' || c == u'!' || c == u'?' || c == u'…') {
            sentenceStart = true;
        } else if (c.isDigit()) {
            sentenceStart = false;
        }
    }
    static const QString closers = QStringLiteral(".!?…");
    if (!closers.contains(text.back())) text += u'.';
    return text;
}

class StandIn : public QObject {
public:
    StandIn(Options o, QHash<QString, QString> script) : options_(std::move(o)), script_(std::move(script)) {}

    bool listen() {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            }
        });
        return server_.listen(QHostAddress(options_.host), options_.port);
    }

private:
    void readFrom(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const auto read = murmelo::standin::readHttpRequest(buffer, MAX_HEADER, MAX_BODY);
        if (read.state == murmelo::standin::HttpRead::State::incomplete) return;
        if (read.state == murmelo::standin::HttpRead::State::failed) return finish(socket, read.status, read.why);
        const QByteArray &method = read.request.method, &path = read.request.path;
        if (path == "/" && method == "GET") finish(socket, 200, "ok\n");
        else if (path == "/correct" && method == "POST")
            finish(socket, 200, answer(QString::fromUtf8(read.request.body)).toUtf8());
        else finish(socket, 404, "not found\n");
    }

    QString answer(const QString& text) {
        if (!script_.isEmpty()) return script_.value(text, text);
        if (!speller_) speller_ = std::make_unique<murmelo::HunspellSpellChecker>();
        return correct(text, *speller_);
    }

    void finish(QTcpSocket* socket, int status, const QByteArray& body) {
        buffers_.remove(socket);
        socket->disconnect(this);
        const QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Bad Request";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                      "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    Options options_;
    QHash<QString, QString> script_;
    std::unique_ptr<murmelo::HunspellSpellChecker> speller_;
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Options options = parseArgs(app.arguments());
    StandIn standIn(options, readScript(options.script));
    if (!standIn.listen()) {
        std::fprintf(stderr, "error: cannot listen on %s:%u\n", qPrintable(options.host), unsigned(options.port));
        return 1;
    }
    std::fprintf(stdout, "corrector stand-in: listening on %s:%u, model %s\n", qPrintable(options.host),
                 unsigned(options.port), qPrintable(options.modelDir));
    std::fflush(stdout);
    return app.exec();
}
