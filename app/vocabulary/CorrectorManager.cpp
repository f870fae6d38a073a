#include "vocabulary/CorrectorManager.h"

#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "diagnostics/Death.h"
#include "diagnostics/Orphans.h"
#include "input/TapConsumers.h"
#include "platform/RunningApplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace murmelo {

namespace {

QString modelsFolder(const QString& modelsDir) {
    return modelsDir.isEmpty() ? defaultCorrectorModelsDir() : modelsDir;
}

bool holdsModel(const QString& dir) {
    return QFileInfo::exists(dir + QStringLiteral("/model.bin")) &&
           QFileInfo::exists(dir + QStringLiteral("/tokenizer.json"));
}

}  // namespace

QStringList CorrectorEngine::arguments(quint16 port, const QString& modelDir) const {
    QStringList args;
    if (kind == Kind::dev) args << script;
    return args + QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--model-dir"), modelDir};
}

QString defaultCorrectorModelsDir() { return QDir::homePath() + QStringLiteral("/.whisper-models"); }

QString correctorModelDir(const QString& modelsDir) {
    const QString dev = murmeloDevPath(QStringLiteral("corrector/") + QLatin1String(CORRECTOR_MODEL_DIRNAME));
    if (QFileInfo::exists(dev + QStringLiteral("/model.bin"))) return dev;
    return QDir(modelsFolder(modelsDir)).filePath(QLatin1String(CORRECTOR_MODEL_DIRNAME));
}

bool correctorModelPresent(const QString& modelsDir) { return holdsModel(correctorModelDir(modelsDir)); }

std::optional<CorrectorEngine> resolveCorrectorEngine(const QString& appDir) {
    const QString dir =
        appDir.isEmpty() ? QFileInfo(RunningApplication::shared().executablePath()).absolutePath() : appDir;
    const QFileInfo bundled(dir + u'/' + QLatin1String(CORRECTOR_BINARY_NAME));
    if (bundled.isFile() && bundled.isExecutable()) return CorrectorEngine::bundled(bundled.absoluteFilePath());
    const QString python = murmeloDevPath(QStringLiteral("corrector/venv_ct2/bin/python"));
    const QString script = murmeloDevPath(QStringLiteral("corrector/server_ct2.py"));
    const QFileInfo interpreter(python);
    if (interpreter.isFile() && interpreter.isExecutable() && QFileInfo::exists(script))
        return CorrectorEngine::dev(python, script);
    return std::nullopt;
}

const std::optional<CorrectorEngine>& correctorEngineAtLaunch() {
    // A function-local static: evaluated once, also under concurrent first use.
    static const std::optional<CorrectorEngine> engine = resolveCorrectorEngine();
    return engine;
}

CorrectorReadiness correctorReadiness(const std::optional<CorrectorEngine>& engine, const QString& modelsDir) {
    if (!engine) return CorrectorReadiness::engineMissing;
    if (correctorModelPresent(modelsDir)) return CorrectorReadiness::ready;
    return CorrectorReadiness::modelMissing;
}

CorrectorReadiness correctorReadiness() { return correctorReadiness(correctorEngineAtLaunch()); }

QString correctorNoticeText(const std::optional<CorrectorEngine>& engine, const QString& modelsDir) {
    if (!engine) return L(QStringLiteral("polish.note.engineMissing"), QStringLiteral("В этой сборке нет корректора знаков"));
    if (correctorModelPresent(modelsDir))
        return L(QStringLiteral("polish.note.noCorrector"), QStringLiteral("Корректор не отвечает"));
    return L(QStringLiteral("polish.note.modelMissing"), QStringLiteral("Знаки появятся после загрузки модели"));
}

QString correctorReadinessName(CorrectorReadiness r) {
    switch (r) {
    case CorrectorReadiness::ready: return QStringLiteral("ready");
    case CorrectorReadiness::modelMissing: return QStringLiteral("modelMissing");
    case CorrectorReadiness::engineMissing: return QStringLiteral("engineMissing");
    }
    return {};
}

QString correctorNoticeText() { return correctorNoticeText(correctorEngineAtLaunch()); }

bool isPolishEnabled() { return TapPolish::isPolishEnabled(); }

CorrectorManager& CorrectorManager::shared() {
    // Kept for the life of the process, as the server it owns may be.
    static CorrectorManager* manager = new CorrectorManager();
    return *manager;
}

CorrectorManager::CorrectorManager(Config config)
    : config_(std::move(config)),
      logPath_(config_.logPath.isEmpty() ? Log::sidecarPath(QStringLiteral("corrector.log")) : config_.logPath) {}

CorrectorManager::~CorrectorManager() {
    std::lock_guard lock(mutex_);
    if (proc_) {
        // Not waited for here: the child ends on its own once asked.
        proc_->disconnect();
        proc_->terminate();
        proc_->waitForFinished(2000);
        delete proc_;
        proc_ = nullptr;
    }
}

qint32 CorrectorManager::pid() const {
    std::lock_guard lock(mutex_);
    const int pid = proc_ ? proc_->property("murmeloPid").toInt() : 0;
    return pid > 0 ? qint32(pid) : -1;
}

void CorrectorManager::onOwnerThread(const QString& what, const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    // The child process objects belong to the main thread; a caller on a worker thread waits
    // while the main thread does the work, but not without end: the main thread may itself be
    // waiting for this worker, or no longer turning its loop.
    struct Call {
        std::mutex m;
        std::condition_variable cv;
        bool begun = false, done = false, dropped = false;
    };
    auto call = std::make_shared<Call>();
    QMetaObject::invokeMethod(
        app,
        [call, fn] {
            {
                std::lock_guard lock(call->m);
                if (call->dropped) return;
                call->begun = true;
            }
            fn();
            std::lock_guard lock(call->m);
            call->done = true;
            call->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(call->m);
    const auto bound = std::chrono::milliseconds(qint64(std::max(0.0, config_.ownerWaitSeconds) * 1000));
    if (call->cv.wait_for(lock, bound, [&] { return call->done; })) return;
    const QString seconds = QString::number(config_.ownerWaitSeconds, 'g', 3);
    if (!call->begun) {
        call->dropped = true;
        logLine(QStringLiteral("corrector: главный поток не взял ") + what + QStringLiteral(" за ") + seconds +
                QStringLiteral(" с — отменяю"));
    } else {
        logLine(QStringLiteral("corrector: ") + what + QStringLiteral(" идёт дольше ") + seconds +
                QStringLiteral(" с — дальше не жду"));
    }
}

void CorrectorManager::start(bool force) {
    onOwnerThread(QStringLiteral("start"), [this, force] {
        std::lock_guard lock(mutex_);
        startLocked(force);
    });
}

void CorrectorManager::stop() {
    onOwnerThread(QStringLiteral("stop"), [this] {
        std::lock_guard lock(mutex_);
        stopLocked();
    });
}

void CorrectorManager::startLocked(bool force) {
    if (!isPolishEnabled() && !force) return;
    const QString modelDir = correctorModelDir(config_.modelsDir);
    const std::optional<CorrectorEngine> engine = config_.engine ? config_.engine() : correctorEngineAtLaunch();
    if (!engine) {
        logLine(QStringLiteral("corrector: движка нет ни в бандле (") + QLatin1String(CORRECTOR_BINARY_NAME) +
                QStringLiteral("), ") + QStringLiteral("ни в каталоге разработки — знаки НЕ будут ставиться"));
        return;
    }
    if (!correctorModelPresent(config_.modelsDir)) {
        logLine(QStringLiteral("corrector: движок есть, весов нет (") + modelDir + QStringLiteral(") — знаки появятся ") +
                QStringLiteral("после загрузки модели"));
        return;
    }
    stopLocked();
    Orphans::setCorrectorPrograms({engine->kind == CorrectorEngine::Kind::bundled ? engine->binary : engine->script});
    Orphans::freePort(config_.port);

    // Owned by the application, so that a process still ending when the event loop stops
    // (the stop at quit does not wait) is freed with it rather than never.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(engine->program());
    process->setArguments(engine->arguments(config_.port, modelDir));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    Orphans::markOwner(environment);
    process->setProcessEnvironment(environment);

    QDir().mkpath(QFileInfo(logPath_).absolutePath());
    Log::prepareSidecar(logPath_);
    // The file is opened in the child only, so this process keeps no handle to it.
    if (QFile probe(logPath_); probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        probe.close();
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(logPath_, QIODevice::Append);
    } else {
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    }

    QObject::connect(process, &QProcess::finished, process, [process](int, QProcess::ExitStatus) {
        forgetChildForDeath(DeathChild::corrector, process->property("murmeloPid").toInt());
    });

    process->start();
    if (!process->waitForStarted(10000)) {
        const QString error = process->errorString();
        delete process;
        logLine(QStringLiteral("ошибка запуска corrector-server: ") + error);
        return;
    }
    const qint32 pid = qint32(process->processId());
    process->setProperty("murmeloPid", pid);
    proc_ = process;
    rememberChildForDeath(DeathChild::corrector, pid);
    logLine(QStringLiteral("corrector-server старт (ct2-int8 ") +
            (engine->kind == CorrectorEngine::Kind::bundled ? QStringLiteral("бандл") : QStringLiteral("dev")) +
            QStringLiteral(", порт ") + QString::number(config_.port) + QStringLiteral(", ") + QStringLiteral("модель ") +
            modelDir + QStringLiteral(", загрузка ~1с, pid ") + QString::number(pid) + QStringLiteral(")"));
}

void CorrectorManager::stopLocked() {
    if (!proc_) return;
    QProcess* process = proc_;
    proc_ = nullptr;
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // Freed once reaped; the stop does not wait for the end.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->terminate();
}

}  // namespace murmelo
