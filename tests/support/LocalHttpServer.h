#pragma once
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace murmelo::test {

// A port on 127.0.0.1 that nobody listens on right now, for a server a test starts.
inline quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A plain HTTP/1.1 server on 127.0.0.1 for download tests: each path answers with what the
// test set for it; unknown paths get 404. Runs on the thread that made it (serve its events).
class LocalHttpServer : public QObject {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool sendLength = true;    // without: the body ends when the connection closes
        qint64 breakAfter = -1;    // close after this many body bytes, the full length declared
        bool silent = false;       // read the request and never answer
        QByteArray location = {};  // sent as the Location header (a redirect)
    };
    // A 302 answer that sends the client on to the address.
    static Reply redirect(const QByteArray& to) {
        Reply r;
        r.status = 302;
        r.location = to;
        return r;
    }

    LocalHttpServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                auto* request = new QByteArray;
                connect(s, &QTcpSocket::readyRead, s, [this, s, request] {
                    *request += s->readAll();
                    const qsizetype headEnd = request->indexOf("\r\n\r\n");
                    if (headEnd < 0) return;
                    // Wait for a declared body, so that a test can look at it.
                    static const QRegularExpression lengthField(QStringLiteral("(?im)^content-length:\\s*(\\d+)"));
                    const auto m = lengthField.match(QString::fromLatin1(request->left(headEnd)));
                    if (m.hasMatch() && request->size() < headEnd + 4 + m.captured(1).toLongLong()) return;
                    if (answered_.contains(s)) return;
                    answered_.insert(s);
                    const QByteArray path = request->split(' ').value(1);
                    ++requests_;
                    lastRequest_ = *request;
                    answer(s, replies_.value(QString::fromLatin1(path), Reply{404, "not here", true, -1, false}));
                });
                connect(s, &QTcpSocket::disconnected, s, [this, s, request] {
                    answered_.remove(s);
                    delete request;
                    s->deleteLater();
                });
            }
        });
    }

    void set(const QString& path, Reply reply) { replies_[path] = std::move(reply); }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    int requests() const { return requests_; }
    // The last request as it came: head and body.
    QByteArray lastRequest() const { return lastRequest_; }

private:
    static QByteArray reason(int status) {
        return status == 200 ? "OK" : status == 202 ? "Accepted" : status == 302 ? "Found" : status == 404 ? "Not Found" : "Status";
    }

    void answer(QTcpSocket* s, const Reply& r) {
        if (r.silent) return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " " + reason(r.status) + "\r\n";
        head += "Content-Type: application/octet-stream\r\nConnection: close\r\n";
        if (r.sendLength) head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        if (!r.location.isEmpty()) head += "Location: " + r.location + "\r\n";
        head += "\r\n";
        s->write(head);
        s->write(r.breakAfter >= 0 ? r.body.left(r.breakAfter) : r.body);
        s->disconnectFromHost();
    }

    QHash<QString, Reply> replies_;
    int requests_ = 0;
    QByteArray lastRequest_;
    QSet<QTcpSocket*> answered_;
    // Last, so it goes first: its sockets' disconnect handlers still find the members above.
    QTcpServer server_;
};

}  // namespace murmelo::test
