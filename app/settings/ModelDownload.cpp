#include "settings/ModelDownload.h"

#include "base/Log.h"
#include "dictation/SherpaEngine.h"
#include "platform/MainQueue.h"
#include "settings/SettingsSeam.h"

#include <QDir>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>

namespace murmelo {

ModelDownload::ModelDownload(ModelChoice model, QString modelsDir, qint64 minimumBytes, QObject* parent)
    : QObject(parent), model_(std::move(model)), modelsDir_(std::move(modelsDir)), downloader_(minimumBytes) {}

QString ModelDownload::archivePath() const {
    return QDir(modelsDir_).filePath(model_.filename + QStringLiteral(".tar.bz2"));
}

void ModelDownload::start() {
    const QString id = model_.id;
    downloader_.onProgress = [id](double fraction, qint64 written, qint64 expected) {
        SettingsSeam::shared().modelDownloadProgress(id, fraction, written, expected);
    };
    downloader_.onDone = [this](bool ok, std::optional<QString> error) { downloaded(ok, std::move(error)); };
    const bool archive = model_.engine == ASREngine::sherpa;
    const QString dest = archive ? archivePath() : QDir(modelsDir_).filePath(model_.filename);
    const std::optional<QString> digest =
        archive || model_.sha256.isEmpty() ? std::nullopt : std::optional<QString>(model_.sha256);
    downloader_.start(QUrl(model_.url), dest, digest);
}

void ModelDownload::downloaded(bool ok, std::optional<QString> error) {
    if (!ok) {
        logLine(QStringLiteral("загрузка модели ") + model_.id + QStringLiteral(" не удалась: ") +
                error.value_or(QString()).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        if (onDone) onDone(false, error);
        return;
    }
    if (model_.engine != ASREngine::sherpa) {
        if (onDone) onDone(true, std::nullopt);
        return;
    }
    // Unpacking and checking hundreds of megabytes must not hold up the main thread.
    QPointer<ModelDownload> self(this);
    const QString archive = archivePath();
    const QString dest = QDir(modelsDir_).filePath(model_.filename);
    const ModelChoice model = model_;
    QThreadPool::globalInstance()->start([self, archive, dest, model] {
        const std::optional<QString> message = SherpaEngine::installArchive(archive, dest, model);
        MainQueue::shared().post([self, message] {
            if (!self) return;
            if (message) logLine(QStringLiteral("установка модели ") + self->model_.id + QStringLiteral(" не удалась: ") + *message);
            if (self->onDone) self->onDone(!message, message);
        });
    });
}

}  // namespace murmelo
