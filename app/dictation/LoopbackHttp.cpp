#include "dictation/LoopbackHttp.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace murmelo {

bool HttpResult::serverGone() const {
    // A server that ends while the request is still being sent resets the connection, which Qt
    // reports as an unknown network error.
    return !responded && (networkError == QNetworkReply::ConnectionRefusedError ||
                          networkError == QNetworkReply::RemoteHostClosedError ||
                          networkError == QNetworkReply::UnknownNetworkError);
}

HttpResult loopbackHttp(const QByteArray& method, const QUrl& url, const QByteArray& contentType,
                        const QByteArray& body, double timeout, double wait, const HttpHeaders& headers,
                        qint64 maxBody) {
    HttpResult result;
    QNetworkAccessManager manager;
    // The servers are on this machine: a proxy from the environment must not sit between.
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(std::max(1, int(timeout * 1000)));
    if (!contentType.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    for (const auto& [name, value] : headers) request.setRawHeader(name, value);
    QNetworkReply* reply = manager.sendCustomRequest(request, method, body);

    // Read as it arrives, so that no more than the bound is ever held.
    QByteArray received;
    bool tooLarge = false;
    if (maxBody >= 0) {
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
            if (tooLarge) return;
            received += reply->readAll();
            if (received.size() > maxBody) {
                tooLarge = true;
                received.clear();
                reply->abort();
            }
        });
    }

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(std::max(0, int(wait * 1000)));
    if (!reply->isFinished()) loop.exec();
    if (maxBody >= 0 && !tooLarge && reply->isFinished() && received.size() + reply->bytesAvailable() > maxBody)
        tooLarge = true;

    if (tooLarge) {
        result.tooLarge = true;
        result.networkError = int(QNetworkReply::OperationCanceledError);
        result.error = QStringLiteral("ответ больше ") + QString::number(maxBody) + QStringLiteral(" байт — не дочитан");
    } else if (!reply->isFinished()) {
        reply->abort();
        result.networkError = int(QNetworkReply::TimeoutError);
        result.error = QStringLiteral("нет ответа за ") + QString::number(wait, 'g', 3) + QStringLiteral(" с");
    } else {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            result.responded = true;
            result.status = status.toInt();
            result.body = received + reply->readAll();
        } else {
            result.error = reply->errorString();
            result.networkError = int(reply->error());
        }
    }
    delete reply;
    return result;
}

}  // namespace murmelo
