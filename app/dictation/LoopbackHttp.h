#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace murmelo {

// One HTTP exchange with a local server, blocking the calling thread (never the main
// thread: it runs an event loop of its own). An HTTP response of any status counts as an
// answer; only a failure to get one is a transport error.
struct HttpResult {
    bool responded = false;  // an HTTP response arrived
    int status = 0;
    QByteArray body;
    QString error;           // why no response came (empty when one did)
    int networkError = 0;    // QNetworkReply::NetworkError when no response came
    bool tooLarge = false;   // the body outgrew the caller's bound and was not read on
    // The server is not there: the connection was refused or dropped before an answer.
    bool serverGone() const;
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// timeout: the request's inactivity limit; wait: how long the caller waits at most in all;
// maxBody: the most body bytes read (none when negative), beyond which the exchange is cut
// off as tooLarge.
HttpResult loopbackHttp(const QByteArray& method, const QUrl& url, const QByteArray& contentType,
                        const QByteArray& body, double timeout, double wait, const HttpHeaders& headers = {},
                        qint64 maxBody = -1);

}  // namespace murmelo
