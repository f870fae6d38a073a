#include "vocabulary/CorrectorModelInstaller.h"

#include "base/Log.h"
#include "dictation/Downloader.h"
#include "dictation/ModelCatalog.h"
#include "platform/MainQueue.h"
#include "vocabulary/CorrectorManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QThreadPool>
#include <QUrl>
#include <filesystem>

#ifndef MURMELO_CORRECTOR_MODEL_HOST
#define MURMELO_CORRECTOR_MODEL_HOST ""
#endif

namespace murmelo {

namespace {

namespace fs = std::filesystem;

fs::path pathOf(const QString& p) { return fs::path(QFile::encodeName(p).constData()); }
QString describe(const std::error_code& ec) { return QString::fromLocal8Bit(ec.message().c_str()); }

void removeAll(const QString& p) {
    std::error_code ignored;
    fs::remove_all(pathOf(p), ignored);
}

}  // namespace

const CorrectorModelArtifact& CORRECTOR_MODEL() {
    static const CorrectorModelArtifact artifact = [] {
        CorrectorModelArtifact a;
        a.filename = QStringLiteral("vudi_ct2_int8.tar.gz");
        a.dirname = QStringLiteral("vudi_ct2_int8");
        const QString host = QString::fromLatin1(MURMELO_CORRECTOR_MODEL_HOST);
        if (!host.isEmpty()) a.url = QStringLiteral("https://") + host + QStringLiteral("/load/") + a.filename;
        a.sha256 = QStringLiteral("572140532e099d0e8c9f308aa277c4680907297f4f9c8f27bb7c54b7effc129c");
        a.bytes = 89702449;
        return a;
    }();
    return artifact;
}

std::optional<QString> unpackCorrectorModel(const QString& archive, const QString& modelsDir,
                                            const CorrectorModelArtifact& artifact, const QString& archiveTool) {
    const QDir models(modelsDir);
    const QString scratch = models.filePath(QStringLiteral(".") + artifact.dirname + QStringLiteral(".unpack"));
    const QString target = models.filePath(artifact.dirname);
    const QString previous = models.filePath(QStringLiteral(".") + artifact.dirname + QStringLiteral(".old"));

    // A run interrupted between moving the old model away and putting the new one in place
    // left the only copy under the previous name: it goes back before anything is deleted.
    std::error_code ignored;
    if (!fs::exists(pathOf(target), ignored) && fs::is_directory(pathOf(previous), ignored))
        fs::rename(pathOf(previous), pathOf(target), ignored);
    removeAll(scratch);
    if (fs::exists(pathOf(target), ignored)) removeAll(previous);

    std::error_code ec;
    fs::create_directories(pathOf(scratch), ec);
    if (ec) return QStringLiteral("не удалось создать каталог для распаковки: ") + describe(ec);
    struct ScratchGuard {
        QString path;
        ~ScratchGuard() { removeAll(path); }
    } guard{scratch};

    QProcess tar;
    tar.setProgram(archiveTool);
    tar.setArguments({QStringLiteral("-xzf"), archive, QStringLiteral("-C"), scratch});
    tar.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    tar.start();
    if (!tar.waitForStarted(-1)) return QStringLiteral("не удалось запустить распаковку: ") + tar.errorString();
    tar.waitForFinished(-1);
    QString errors;
    {
        const QByteArray raw = tar.readAllStandardError();
        QStringDecoder decoder(QStringDecoder::Utf8);
        errors = decoder.decode(raw);
        if (decoder.hasError()) errors.clear();
    }
    const int status = tar.exitStatus() == QProcess::NormalExit ? tar.exitCode() : -1;
    if (status != 0)
        return QStringLiteral("архив не распаковался (tar ") + QString::number(status) + QStringLiteral("): ") +
               errors.trimmed();

    const QString unpacked = QDir(scratch).filePath(artifact.dirname);
    for (const QString& file : {QStringLiteral("model.bin"), QStringLiteral("tokenizer.json")})
        if (!QFileInfo::exists(QDir(unpacked).filePath(file)))
            return QStringLiteral("в архиве нет ") + file + QStringLiteral(" — это не веса корректора");

    if (fs::exists(pathOf(target), ignored)) {
        fs::rename(pathOf(target), pathOf(previous), ec);
        if (ec) return QStringLiteral("не удалось убрать прежнюю модель: ") + describe(ec);
    }
    fs::rename(pathOf(unpacked), pathOf(target), ec);
    if (ec) {
        fs::rename(pathOf(previous), pathOf(target), ignored);
        return QStringLiteral("не удалось поставить новую модель: ") + describe(ec);
    }
    removeAll(previous);
    return std::nullopt;
}

CorrectorModelInstaller& CorrectorModelInstaller::shared() {
    static CorrectorModelInstaller* installer = new CorrectorModelInstaller();
    return *installer;
}

CorrectorModelInstaller::CorrectorModelInstaller(Config config) : config_(std::move(config)) {}

CorrectorModelInstaller::~CorrectorModelInstaller() {
    if (downloader_) delete downloader_.data();
}

void CorrectorModelInstaller::install(Progress progress, Done done) {
    if (isRunning_) {
        logLine(QStringLiteral("corrector: загрузка весов уже идёт — второй раз не начинаю"));
        return;
    }
    const CorrectorModelArtifact artifact = config_.artifact.value_or(CORRECTOR_MODEL());
    const QUrl url(artifact.url);
    if (artifact.url.isEmpty() || !url.isValid()) {
        const QString reason = QStringLiteral("веса корректора негде взять: адрес артефакта не задан в сборке");
        logLine(QStringLiteral("corrector: ") + reason);
        // Unlike the recognition models, this one has no public home to fall back on.
        logLine(QStringLiteral("corrector: у модели корректора нет общедоступного адреса — его задают при сборке "
                               "(MURMELO_CORRECTOR_MODEL_HOST)"));
        if (done) done(reason);
        return;
    }
    const QString modelsDir = config_.modelsDir.isEmpty() ? defaultCorrectorModelsDir() : config_.modelsDir;
    QDir().mkpath(modelsDir);
    const QString destination = QDir(modelsDir).filePath(artifact.filename);
    isRunning_ = true;
    logLine(QStringLiteral("corrector: качаю веса (") + humanBytes(artifact.bytes) + QStringLiteral(") в ") + modelsDir);

    auto* downloader = new Downloader(config_.minimumBytes.value_or(MIN_MODEL_BYTES), this);
    downloader_ = downloader;
    if (progress) downloader->onProgress = progress;
    QPointer<CorrectorModelInstaller> self(this);
    downloader->onDone = [self, downloader, destination, modelsDir, artifact, done](bool ok, std::optional<QString> message) {
        if (!self) return;
        self->downloader_.clear();
        downloader->deleteLater();
        if (!ok) {
            logLine(QStringLiteral("corrector: веса не скачались — ") + message.value_or(QStringLiteral("причина неизвестна")));
            self->finished(done, message.value_or(QStringLiteral("загрузка не удалась")));
            return;
        }
        // The archive tool and the folder moves take seconds: off the main thread.
        const QString tool = self->config_.archiveTool;
        auto job = [self, destination, modelsDir, artifact, tool, done] {
            const std::optional<QString> error = unpackCorrectorModel(destination, modelsDir, artifact, tool);
            MainQueue::shared().post([self, destination, modelsDir, error, done] {
                if (!self) return;
                if (error) {
                    logLine(QStringLiteral("corrector: веса скачались, но не распаковались — ") + *error);
                    self->finished(done, error);
                    return;
                }
                QFile::remove(destination);
                logLine(QStringLiteral("corrector: веса на месте (") + correctorModelDir(modelsDir) +
                        QStringLiteral(") — поднимаю сайдкар"));
                if (self->config_.startServer) self->config_.startServer();
                else CorrectorManager::shared().start();
                self->finished(done, std::nullopt);
            });
        };
        if (self->config_.background) self->config_.background(std::move(job));
        else QThreadPool::globalInstance()->start(std::move(job));
    };
    downloader->start(url, destination, artifact.sha256);
}

void CorrectorModelInstaller::finished(const Done& done, std::optional<QString> error) {
    // Cleared before the callback, so that a new installation may start from it.
    isRunning_ = false;
    if (done) done(std::move(error));
}

}  // namespace murmelo
