#include "ai/CloudTransport.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <memory>

namespace murmelo {
CloudTransport::CloudTransport(QObject* parent) : QObject(parent) {
    network_.setCookieJar(nullptr);
}

CloudTask::CloudTask(QNetworkReply* reply, std::shared_ptr<bool> cancelled)
    : reply_(reply), cancelled_(std::move(cancelled)) {}

void CloudTask::cancel() {
    if (!reply_ || reply_->isFinished()) return;
    *cancelled_ = true;
    reply_->abort();
}

CloudTask CloudTransport::send(const AIRequest& request, const QByteArray& body, std::function<void(CloudResponse)> done) {
    if (request.header("Authorization") && request.url.scheme() != QLatin1String("https") &&
        !AIProvider::isLoopbackHost(request.url.host())) {
        CloudResponse refused;
        refused.failure = CloudResponse::Failure::refused;
        refused.errorText = QStringLiteral("ключ не уходит по незашифрованному адресу");
        done(refused);
        return {};
    }
    QNetworkRequest r(request.url);
    for (const auto& [name, value] : request.headers) r.setRawHeader(name, value);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    r.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    r.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    r.setTransferTimeout(int(request.idleTimeoutSeconds * 1000));
    if (!extra_.isEmpty() && request.url.scheme() == QLatin1String("https")) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extra_);
        r.setSslConfiguration(tls);
    }

    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QNetworkReply* reply = network_.sendCustomRequest(r, request.method, body);
    auto pastDeadline = std::make_shared<bool>(false);
    auto cancelled = std::make_shared<bool>(false);
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, pastDeadline] {
        *pastDeadline = true;
        reply->abort();
    });
    deadline->start(int(request.deadlineSeconds * 1000));
    QObject::connect(reply, &QNetworkReply::finished, this, [reply, clock, pastDeadline, cancelled, done] {
        reply->deleteLater();
        CloudResponse response;
        response.elapsedMs = clock->elapsed();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool redirectLeft = status.isValid() && status.toInt() >= 300 && status.toInt() < 400;
        if (*cancelled) {
            response.failure = CloudResponse::Failure::cancelled;
            response.errorText = QStringLiteral("запрос отменён");
        } else if (*pastDeadline || reply->error() == QNetworkReply::OperationCanceledError ||
            reply->error() == QNetworkReply::TimeoutError) {
            response.failure = CloudResponse::Failure::timedOut;
            response.errorText = QStringLiteral("время ожидания вышло");
        } else if (redirectLeft) {
            // A redirect to another origin is not followed: the key stays with the first host.
            response.failure = CloudResponse::Failure::network;
            response.status = status.toInt();
            response.errorText = QStringLiteral("перенаправление на другой адрес не выполнено");
        } else if (status.isValid()) {
            response.status = status.toInt();
            response.body = reply->readAll();
        } else {
            response.failure = CloudResponse::Failure::network;
            response.errorText = reply->errorString();
        }
        done(response);
    });
    return CloudTask(reply, cancelled);
}

}  // namespace murmelo
