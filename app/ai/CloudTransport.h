#pragma once
#include "ai/AIProvider.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <functional>
#include <memory>

namespace murmelo {

struct CloudResponse {
    enum class Failure {
        none,      // an HTTP answer arrived (any status)
        timedOut,  // idle too long, or past the deadline
        network,   // no answer: connection, TLS, or a redirect that was not followed
        refused,   // not sent: a key would have crossed the network unencrypted
        cancelled, // the caller cancelled it
    };
    Failure failure = Failure::none;
    int status = 0;
    QByteArray body;
    QString errorText;  // the transport's own words for a failure, no key in them
    qint64 elapsedMs = 0;
};



// A request on its way; cancelling it ends it with Failure::cancelled (once it has ended,
// cancelling does nothing).
class CloudTask {
public:
    CloudTask() = default;
    CloudTask(QNetworkReply* reply, std::shared_ptr<bool> cancelled);
    void cancel();

private:
    QPointer<QNetworkReply> reply_;
    std::shared_ptr<bool> cancelled_;
};

// Sends built cloud requests: no cache, no cookies, and a redirect is followed only to the same
// scheme, host and port, so the bearer key never reaches another host. Lives on the thread that
// made it; the completion runs there.
class CloudTransport : public QObject {
public:
    explicit CloudTransport(QObject* parent = nullptr);

    // Certificates trusted besides the system's (a test's own authority).
    void setExtraCertificates(const QList<QSslCertificate>& certificates) { extra_ = certificates; }

    // A refused request completes before this returns, with an empty task.
    CloudTask send(const AIRequest& request, const QByteArray& body, std::function<void(CloudResponse)> done);

private:
    QNetworkAccessManager network_;
    QList<QSslCertificate> extra_;
};

}  // namespace murmelo
