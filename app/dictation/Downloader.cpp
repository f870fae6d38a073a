#include "dictation/Downloader.h"

#include "base/Log.h"
#include "dictation/ModelAddress.h"
#include "dictation/ModelCatalog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QThreadPool>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace murmelo {

std::optional<QString> sha256Hex(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    constexpr qint64 chunk = 8388608;
    for (;;) {
        const QByteArray bytes = file.read(chunk);
        if (bytes.isEmpty()) break;
        hash.addData(bytes);
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> modelChecksumError(const QString& file, const QString& expected) {
    const auto digest = sha256Hex(file);
    if (!digest) return QStringLiteral("файл не читается для проверки суммы");
    if (*digest == expected.toLower()) return std::nullopt;
    return QStringLiteral("контрольная сумма не сошлась: файл повреждён при загрузке или подменён.\n") +
           QStringLiteral("Ожидалось ") + expected.left(12) + QStringLiteral("…, получено ") + digest->left(12) +
           QStringLiteral("…");
}

namespace {

// A step on to another address rather than an answer; its body is not the file.
bool isRedirect(const QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
           reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid();
}

}  // namespace

Downloader::Downloader(qint64 minimumBytes, QObject* parent) : QObject(parent), minimumBytes_(minimumBytes) {}

Downloader::~Downloader() {
    timeout_.cancel();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
    discardTemp();
}

void Downloader::start(const QUrl& from, const QString& to, const std::optional<QString>& sha256) {
    if (started_) return;
    started_ = true;
    dest_ = to;
    expectedSHA256_ = sha256;
    const ModelSource source = modelDownloadSource(from);
    if (source.refusal) {
        finish(false, source.refusal);
        return;
    }
    // The new file is written next to the destination, so that putting it in place is one
    // rename on the same file system.
    const QFileInfo destInfo(to);
    QDir().mkpath(destInfo.absolutePath());
    const QString tempPath = destInfo.absoluteDir().filePath(
        QStringLiteral(".") + destInfo.fileName() + QStringLiteral(".") +
        QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral(".download"));
    temp_ = std::make_unique<QFile>(tempPath);
    if (!temp_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const QString error = temp_->errorString();
        temp_.reset();
        finish(false, error);
        return;
    }

    session_ = new QNetworkAccessManager(this);
    request(source.url);
    QPointer<Downloader> self(this);
    timeout_ = MainQueue::shared().after(MODEL_DOWNLOAD_TIMEOUT, [self] {
        if (!self || !self->reply_) return;
        self->timedOut_ = true;
        self->reply_->abort();
    });
}

// Redirects are followed here, one request per step, so that each step is judged before it
// is taken; Qt 6.4's own user-verified following loses its way in a loop.
void Downloader::request(const QUrl& address) {
    address_ = address;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    reply_ = session_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        if (!reply_ || !temp_) return;
        const QByteArray bytes = reply_->readAll();
        if (isRedirect(reply_)) return;
        if (temp_->write(bytes) != bytes.size()) {
            const QString error = temp_->errorString();
            reply_->disconnect(this);
            reply_->abort();
            discardTemp();
            finish(false, error);
        }
    });
    connect(reply_, &QNetworkReply::downloadProgress, this, &Downloader::progress);
    connect(reply_, &QNetworkReply::finished, this, &Downloader::completed);
}

// The next step of a redirect, or why there is none.
void Downloader::redirect(QNetworkReply* reply) {
    const QUrl target =
        address_.resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
    std::optional<QString> refusal;
    if (++redirects_ > MODEL_DOWNLOAD_MAX_REDIRECTS)
        refusal = QStringLiteral("слишком много перенаправлений: больше ") +
                  QString::number(MODEL_DOWNLOAD_MAX_REDIRECTS);
    else refusal = modelRedirectRefusal(address_, target);
    if (refusal) {
        discardTemp();
        finish(false, refusal);
        return;
    }
    request(target);
}

void Downloader::progress(qint64 written, qint64 expected) {
    if (finished_ || (reply_ && isRedirect(reply_))) return;
    // Qt closes a transfer of unknown length with a report whose total is what arrived; the
    // length is only known when the server sent one.
    if (reply_ && !reply_->header(QNetworkRequest::ContentLengthHeader).isValid()) expected = -1;
    const double fraction = expected >= 1 ? double(written) / double(expected) : 0.0;
    QPointer<Downloader> self(this);
    MainQueue::shared().post([self, fraction, written, expected] {
        if (self && self->onProgress) self->onProgress(fraction, written, expected);
    });
}

void Downloader::completed() {
    QNetworkReply* reply = reply_;
    if (!reply || finished_) return;
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError && isRedirect(reply)) {
        redirect(reply);
        return;
    }
    timeout_.cancel();
    if (temp_ && reply->isOpen()) {
        const QByteArray rest = reply->readAll();
        if (!rest.isEmpty()) temp_->write(rest);
    }
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // An HTTP answer of any status is a finished download to judge by its status and size;
    // only a failure below HTTP (refused, broken off, timed out) is a transport error.
    const bool transport = error != QNetworkReply::NoError &&
                           (error < QNetworkReply::ContentAccessDenied || !statusAttribute.isValid());
    if (transport || !temp_) {
        discardTemp();
        finish(false, timedOut_ ? QStringLiteral("время загрузки истекло") : reply->errorString());
        return;
    }
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
    temp_->close();
    const QString tempPath = temp_->fileName();
    const qint64 size = fileSize(tempPath);
    // A connection that breaks off can still end without an error from Qt; a body shorter
    // than its declared length is a broken transfer, not a file to install.
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (status == 200 && declared.isValid() && (encoding.isEmpty() || encoding == "identity") &&
        declared.toLongLong() != size) {
        discardTemp();
        finish(false, QStringLiteral("соединение оборвалось: получено ") + humanBytes(size) + QStringLiteral(" из ") +
                          humanBytes(declared.toLongLong()));
        return;
    }
    if (status != 200 || size < minimumBytes_) {
        discardTemp();
        finish(false, QStringLiteral("HTTP ") + QString::number(status) + QStringLiteral(", получено ") +
                          humanBytes(size));
        return;
    }
    verifyAndMove(tempPath);
}

// The digest of a model file takes seconds: it is computed on a worker thread, and the
// answer comes back to the main queue.
void Downloader::verifyAndMove(const QString& tempPath) {
    temp_.reset();  // the worker owns the file from here
    QPointer<Downloader> self(this);
    const QString dest = dest_;
    const std::optional<QString> expected = expectedSHA256_;
    QThreadPool::globalInstance()->start([self, tempPath, dest, expected] {
        auto report = [self](bool ok, std::optional<QString> error) {
            MainQueue::shared().post([self, ok, error] {
                if (self) self->finish(ok, error);
            });
        };
        if (expected) {
            MainQueue::shared().post([self] {
                if (self && self->onVerifying) self->onVerifying();
            });
            if (const auto message = modelChecksumError(tempPath, *expected)) {
                logLine(QStringLiteral("модель: ") + QString(*message).replace(QLatin1Char('\n'), QLatin1Char(' ')));
                QFile::remove(tempPath);
                report(false, *message);
                return;
            }
        }
        // rename(2) replaces the old file in one step: it is there until the new one is.
        if (::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(dest).constData()) != 0) {
            const QString error = QString::fromLocal8Bit(std::strerror(errno));
            QFile::remove(tempPath);
            report(false, error);
            return;
        }
        report(true, std::nullopt);
    });
}

void Downloader::discardTemp() {
    if (!temp_) return;
    temp_->close();
    temp_->remove();
    temp_.reset();
}

void Downloader::finish(bool ok, std::optional<QString> error) {
    if (finished_) return;
    finished_ = true;
    timeout_.cancel();
    if (session_) session_->deleteLater();
    session_ = nullptr;
    QPointer<Downloader> self(this);
    MainQueue::shared().post([self, ok, error] {
        if (self && self->onDone) self->onDone(ok, error);
    });
}

}  // namespace murmelo
