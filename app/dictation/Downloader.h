#pragma once
#include "platform/MainQueue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QFile;

namespace murmelo {

// Anything smaller is an error page or a notice, not a model.
inline constexpr qint64 MIN_MODEL_BYTES = 50000000;
// The limit for the whole transfer.
inline constexpr double MODEL_DOWNLOAD_TIMEOUT = 3600;

// Lower-case hex SHA-256 of a file, read in 8 MiB chunks; none when it cannot be opened.
std::optional<QString> sha256Hex(const QString& path);
// None when the file's digest is the expected one (in any case), else the message to show.
std::optional<QString> modelChecksumError(const QString& file, const QString& expected);

// Fetches one model file into a destination, verifies it and puts it in place. The address
// goes to the mirror when the environment names one; every step, redirects included, is https
// (plain http only on this machine), and at most five redirects are followed. The file
// arrives beside the destination under a hidden name and replaces it in one rename, so the
// model already there stays until a good new one is ready. Every callback reaches the caller
// on the main queue; onDone exactly once. One object serves one download; start it on the
// main thread.
class Downloader : public QObject {
public:
    explicit Downloader(qint64 minimumBytes = MIN_MODEL_BYTES, QObject* parent = nullptr);
    ~Downloader() override;

    std::function<void(double fraction, qint64 written, qint64 expected)> onProgress;
    std::function<void()> onVerifying;
    std::function<void(bool ok, std::optional<QString> error)> onDone;

    // sha256: the expected digest in hex; none means no check.
    void start(const QUrl& from, const QString& to, const std::optional<QString>& sha256);

private:
    void request(const QUrl& address);
    void redirect(QNetworkReply* reply);
    void progress(qint64 written, qint64 expected);
    void completed();
    void verifyAndMove(const QString& temp);
    void discardTemp();
    void finish(bool ok, std::optional<QString> error);

    qint64 minimumBytes_;
    QUrl address_;                    // where the transfer stands now, after any redirects
    int redirects_ = 0;
    QString dest_;
    std::optional<QString> expectedSHA256_;
    bool finished_ = false;
    bool started_ = false;
    bool timedOut_ = false;
    QNetworkAccessManager* session_ = nullptr;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<QFile> temp_;
    TimerHandle timeout_;
};

}  // namespace murmelo
