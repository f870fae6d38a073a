// A stand-in for the cloud Responses service and for a user's own backend, so that the cloud
// clients are tested against the service's shape on this machine only.
//
//   murmelo-responses-stand-in --port P --record FILE [--script FILE] [--tls CERT KEY]
//
// Listens on 127.0.0.1 only (P 0 picks a free port; the first line of output names it:
// "responses stand-in: listening on 127.0.0.1:PORT"). Answers POST /v1/responses and POST to
// any path ending in "/quick-action", "/quick-reply" or "/meeting-notes" (an own backend's base
// address may carry a path); anything else gets 404. Every request is appended to FILE as one
// JSON line: {"method", "path", "headers": {lower-case name: value}, "body"}.
//
// The script (JSON) lists answers per path, used in order; a path is matched in full or by its
// last segment ("responses", "quick-reply"...). An answer is an object with:
//   "status"      HTTP status (200)
//   "text"        a completed response whose message holds this output_text
//   "refusal"     a completed response whose message holds this refusal
//   "incomplete"  status "incomplete" with incomplete_details.reason set to this (with "text":
//                 the partial output)
//   "reasoningOnly" true: a completed response with a reasoning item and no message
//   "error"       {"error":{"message": this}} (give "status" as well)
//   "body"        any JSON, sent as it is; "raw": a text body sent byte for byte
//   "delay"       seconds before the answer starts
//   "trickle"     seconds between the body's bytes sent in 8 pieces (a slow transfer)
// Unscripted (or once a path's answers are used up), a completed response echoes the request's
// input text. With --tls it serves https with that certificate and key.
#include "StandInArgs.h"
#include "StandInHttp.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr qsizetype MAX_HEADER = 64 * 1024;
constexpr qsizetype MAX_BODY = 8 * 1024 * 1024;

struct Options {
    quint16 port = 0;
    QString record;
    QString script;
    QString cert, key;
};

[[noreturn]] void usage(const QString& why) { murmelo::standin::usage("murmelo-responses-stand-in", why); }

Options parseArgs(const QStringList& args) {
    Options o;
    murmelo::standin::Args cli("murmelo-responses-stand-in", args);
    cli.read([&](const QString& a) {
        if (a == QLatin1String("--port")) o.port = cli.port(0);
        else if (a == QLatin1String("--record")) o.record = cli.value();
        else if (a == QLatin1String("--script")) o.script = cli.value();
        else if (a == QLatin1String("--tls")) {
            o.cert = cli.value();
            o.key = cli.value();
        } else return false;
        return true;
    });
    if (o.record.isEmpty()) usage(QStringLiteral("no record file (--record)"));
    return o;
}

QByteArray readFileOrExit(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "error: cannot read %s\n", qPrintable(path));
        std::exit(1);
    }
    return f.readAll();
}

QString lastSegment(const QString& path) { return path.section(u'/', -1); }

bool served(const QString& path) {
    if (path == QLatin1String("/v1/responses")) return true;
    const QString last = lastSegment(path);
    return last == QLatin1String("quick-action") || last == QLatin1String("quick-reply") ||
           last == QLatin1String("meeting-notes");
}

// Every text of the request's input: a string, or messages whose content is a string or a
// list of parts with "text".
QString inputText(const QJsonObject& request) {
    const QJsonValue input = request.value(QStringLiteral("input"));
    if (input.isString()) return input.toString();
    QStringList texts;
    for (const QJsonValue& message : input.toArray()) {
        const QJsonValue content = message.toObject().value(QStringLiteral("content"));
        if (content.isString()) texts << content.toString();
        for (const QJsonValue& part : content.toArray())
            if (part.toObject().value(QStringLiteral("text")).isString())
                texts << part.toObject().value(QStringLiteral("text")).toString();
    }
    return texts.join(u'\n');
}

QJsonObject response(int serial, const QString& model, const QString& status, const QJsonArray& output) {
    return QJsonObject{{QStringLiteral("id"), QStringLiteral("resp_stand_in_%1").arg(serial)},
                       {QStringLiteral("object"), QStringLiteral("response")},
                       {QStringLiteral("status"), status},
                       {QStringLiteral("model"), model},
                       {QStringLiteral("output"), output}};
}

QJsonObject message(const QString& type, const QString& field, const QString& value) {
    QJsonObject part{{QStringLiteral("type"), type}, {field, value}};
    if (type == QLatin1String("output_text")) part.insert(QStringLiteral("annotations"), QJsonArray{});
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("message")},
                       {QStringLiteral("id"), QStringLiteral("msg_stand_in")},
                       {QStringLiteral("role"), QStringLiteral("assistant")},
                       {QStringLiteral("status"), QStringLiteral("completed")},
                       {QStringLiteral("content"), QJsonArray{part}}};
}

QJsonObject reasoning() {
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("reasoning")},
                       {QStringLiteral("id"), QStringLiteral("rs_stand_in")},
                       {QStringLiteral("summary"), QJsonArray{}}};
}

struct Answer {
    int status = 200;
    QByteArray body;
    double delay = 0;
    double trickle = 0;
};

class StandIn : public QObject {
public:
    StandIn(Options o, QJsonObject script) : options_(std::move(o)), script_(std::move(script)) {}

    bool listen() {
        if (!options_.cert.isEmpty()) {
            auto* tls = new QSslServer(this);
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            const auto certs = QSslCertificate::fromData(readFileOrExit(options_.cert), QSsl::Pem);
            const QSslKey key(readFileOrExit(options_.key), QSsl::Rsa, QSsl::Pem);
            if (certs.isEmpty() || key.isNull()) usage(QStringLiteral("--tls needs a PEM certificate and RSA key"));
            config.setLocalCertificate(certs.first());
            config.setPrivateKey(key);
            tls->setSslConfiguration(config);
            server_ = tls;
        } else {
            server_ = new QTcpServer(this);
        }
        QObject::connect(server_, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = server_->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            }
        });
        return server_->listen(QHostAddress::LocalHost, options_.port);
    }
    quint16 port() const { return server_->serverPort(); }

private:
    void readFrom(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const auto read = murmelo::standin::readHttpRequest(buffer, MAX_HEADER, MAX_BODY);
        if (read.state == murmelo::standin::HttpRead::State::incomplete) return;
        if (read.state == murmelo::standin::HttpRead::State::failed) return send(socket, {read.status, "{}"});
        buffers_.remove(socket);
        QJsonObject headers;
        for (const auto& [name, value] : read.request.headers)
            headers.insert(QString::fromLatin1(name), QString::fromUtf8(value));
        const QString method = QString::fromLatin1(read.request.method);
        const QString path = QString::fromLatin1(read.request.path).section(u'?', 0, 0);
        record(method, path, headers, read.request.body);
        if (method != QLatin1String("POST") || !served(path))
            return send(socket, {404, error(QStringLiteral("no such path: ") + path)});
        send(socket, answerFor(path, read.request.body));
    }

    static QByteArray error(const QString& text) {
        return QJsonDocument(QJsonObject{{QStringLiteral("error"), QJsonObject{{QStringLiteral("message"), text},
                                                                              {QStringLiteral("type"), QStringLiteral("invalid_request_error")}}}})
            .toJson(QJsonDocument::Compact);
    }

    void record(const QString& method, const QString& path, const QJsonObject& headers, const QByteArray& body) {
        QFile f(options_.record);
        if (!f.open(QIODevice::Append)) return;
        const QJsonObject line{{QStringLiteral("method"), method},
                               {QStringLiteral("path"), path},
                               {QStringLiteral("headers"), headers},
                               {QStringLiteral("body"), QString::fromUtf8(body)}};
        f.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    }

    Answer answerFor(const QString& path, const QByteArray& body) {
        ++serial_;
        const QJsonObject request = QJsonDocument::fromJson(body).object();
        const QString model = request.value(QStringLiteral("model")).toString();
        QString key = script_.contains(path) ? path : lastSegment(path);
        const QJsonArray answers = script_.value(key).toArray();
        const qsizetype used = used_[key]++;
        if (used >= answers.size())
            return {200, json(response(serial_, model, QStringLiteral("completed"),
                                       QJsonArray{message(QStringLiteral("output_text"), QStringLiteral("text"),
                                                          inputText(request))}))};
        const QJsonObject a = answers[used].toObject();
        Answer out;
        out.status = a.value(QStringLiteral("status")).toInt(200);
        out.delay = a.value(QStringLiteral("delay")).toDouble();
        out.trickle = a.value(QStringLiteral("trickle")).toDouble();
        if (a.contains(QStringLiteral("raw"))) {
            out.body = a.value(QStringLiteral("raw")).toString().toUtf8();
        } else if (a.contains(QStringLiteral("body"))) {
            const QJsonValue b = a.value(QStringLiteral("body"));
            out.body = b.isArray() ? QJsonDocument(b.toArray()).toJson(QJsonDocument::Compact)
                                   : QJsonDocument(b.toObject()).toJson(QJsonDocument::Compact);
        } else if (a.contains(QStringLiteral("error"))) {
            out.body = error(a.value(QStringLiteral("error")).toString());
        } else if (a.contains(QStringLiteral("refusal"))) {
            out.body = json(response(serial_, model, QStringLiteral("completed"),
                                     QJsonArray{message(QStringLiteral("refusal"), QStringLiteral("refusal"),
                                                        a.value(QStringLiteral("refusal")).toString())}));
        } else if (a.value(QStringLiteral("reasoningOnly")).toBool()) {
            out.body = json(response(serial_, model, QStringLiteral("completed"), QJsonArray{reasoning()}));
        } else {
            QJsonArray output{reasoning()};
            if (a.contains(QStringLiteral("text")))
                output.append(message(QStringLiteral("output_text"), QStringLiteral("text"),
                                      a.value(QStringLiteral("text")).toString()));
            const bool incomplete = a.contains(QStringLiteral("incomplete"));
            QJsonObject r = response(serial_, model, incomplete ? QStringLiteral("incomplete") : QStringLiteral("completed"),
                                     output);
            if (incomplete)
                r.insert(QStringLiteral("incomplete_details"),
                         QJsonObject{{QStringLiteral("reason"), a.value(QStringLiteral("incomplete")).toString()}});
            out.body = json(r);
        }
        return out;
    }

    static QByteArray json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

    void send(QTcpSocket* socket, const Answer& answer) {
        buffers_.remove(socket);
        QPointer<QTcpSocket> guarded(socket);
        const QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) +
                                " Stand-in\r\nContent-Type: application/json\r\nContent-Length: " +
                                QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n";
        QTimer::singleShot(int(answer.delay * 1000), this, [this, guarded, head, answer] {
            if (!guarded) return;
            if (answer.trickle <= 0) {
                guarded->write(head + answer.body);
                guarded->disconnectFromHost();
                return;
            }
            guarded->write(head);
            const qsizetype piece = std::max<qsizetype>(1, (answer.body.size() + 7) / 8);
            for (int i = 0; i * piece < answer.body.size(); ++i)
                QTimer::singleShot(int(answer.trickle * 1000 * (i + 1)), this, [guarded, answer, piece, i] {
                    if (!guarded) return;
                    guarded->write(answer.body.mid(i * piece, piece));
                    if ((i + 1) * piece >= answer.body.size()) guarded->disconnectFromHost();
                });
        });
    }

    Options options_;
    QJsonObject script_;
    QTcpServer* server_ = nullptr;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QHash<QString, qsizetype> used_;
    int serial_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Options options = parseArgs(app.arguments());
    QJsonObject script;
    if (!options.script.isEmpty()) {
        const QJsonDocument doc = QJsonDocument::fromJson(readFileOrExit(options.script));
        if (!doc.isObject()) usage(QStringLiteral("the script must be a JSON object of paths"));
        script = doc.object();
    }
    StandIn standIn(options, script);
    if (!standIn.listen()) {
        std::fprintf(stderr, "error: cannot listen on 127.0.0.1:%u\n", unsigned(options.port));
        return 1;
    }
    std::fprintf(stdout, "responses stand-in: listening on 127.0.0.1:%u%s\n", unsigned(standIn.port()),
                 options.cert.isEmpty() ? "" : " (https)");
    std::fflush(stdout);
    return app.exec();
}
