#include "dictation/ServerManager.h"

#include "base/Bundle.h"
#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "base/Log.h"
#include "diagnostics/Death.h"
#include "diagnostics/Orphans.h"
#include "dictation/SherpaEngine.h"
#include "dictation/Wav.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QtEndian>
#include <atomic>
#include <future>

namespace murmelo {

QString whisperServerBinaryPath() {
    const QByteArray fromEnv = qgetenv("MURMELO_WHISPER_SERVER");
    if (!fromEnv.isEmpty()) return QString::fromLocal8Bit(fromEnv);
    const QString dev = murmeloDevPath(QStringLiteral("release/whisper-server"));
    if (QFileInfo(dev).isExecutable()) return dev;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/whisper-server");
    if (QFileInfo(beside).isExecutable()) return beside;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("whisper-server"));
    return onPath.isEmpty() ? beside : onPath;
}

std::optional<QString> whisperVADModelPath() {
    const QString file = QString::fromLatin1(VAD_MODEL_FILE);
    const QString dev = murmeloDevPath(QStringLiteral("release/") + file);
    if (QFileInfo::exists(dev)) return dev;
    const QString bundled = Bundle::resourcePath(file);
    if (!bundled.isEmpty() && QFileInfo::exists(bundled)) return bundled;
    return std::nullopt;
}

bool vadGateEnabled() { return Defaults::shared().realBool(QStringLiteral("silenceGateVAD")).value_or(true); }

const QStringList& VAD_ARGS() {
    static const QStringList args{QStringLiteral("--vad-threshold"),
                                  QStringLiteral("0.15"),
                                  QStringLiteral("--vad-speech-pad-ms"),
                                  QStringLiteral("1000"),
                                  QStringLiteral("--vad-min-speech-duration-ms"),
                                  QStringLiteral("250"),
                                  QStringLiteral("--vad-min-silence-duration-ms"),
                                  QStringLiteral("400")};
    return args;
}

QString SERVER_LOG() { return Log::sidecarPath(QStringLiteral("whisper-server.log")); }

QStringList vadServerArguments(const QString& tag, const std::optional<QString>& vadModel) {
    if (!vadGateEnabled()) {
        logLine(tag + QStringLiteral(": гейт тишины ВЫКЛ (ключ silenceGateVAD) — на записи без речи ") +
                QStringLiteral("возможны выдуманные фразы, разбор в WORK.md"));
        return {};
    }
    const auto& model = vadModel;
    if (!model) {
        logLine(tag + QStringLiteral(": НЕТ VAD-модели ") + QString::fromLatin1(VAD_MODEL_FILE) +
                QStringLiteral(" — поднимаю без гейта тишины, ") +
                QStringLiteral("на записи без речи возможны выдуманные фразы"));
        return {};
    }
    return QStringList{QStringLiteral("--vad"), QStringLiteral("--vad-model"), *model} + VAD_ARGS();
}

QString deathHint(int code) {
    if (code == 9)
        return QStringLiteral(", SIGKILL — сервер убили извне (обычно второй экземпляр приложения или чужой стенд "
                              "освобождал порт 8910)");
    if (code == 11)
        return QStringLiteral(", SIGSEGV — почти наверняка запрос без речи к непрогретому серверу; ") +
               QStringLiteral("кто прислал, видно в ") + SERVER_LOG() +
               QStringLiteral(" по имени файла в строке processing");
    return QString();
}

namespace {

constexpr double DEATH_WINDOW = 60.0;
constexpr int RESTARTS_PER_WINDOW = 5;

// Half a second of near-silence from a fixed generator: the same bytes every start.
QByteArray warmupAudio() {
    QByteArray samples(16000, Qt::Uninitialized);
    quint32 state = 20260819u;
    for (int i = 0; i < 8000; ++i) {
        state = state * 1664525u + 1013904223u;
        const qint16 sample = qint16(int((state >> 16) % 101) - 50);
        qToLittleEndian<qint16>(sample, samples.data() + 2 * i);
    }
    return wavHeader(16000, 16000, 1, 16) + samples;
}

QUrl probeURL(quint16 port) { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)); }

}  // namespace

ServerManager& ServerManager::shared() {
    // Kept for the life of the process, as the server it owns may be.
    static ServerManager* manager = new ServerManager();
    return *manager;
}

ServerManager::ServerManager(Config config) : config_(std::move(config)) {
    if (config_.modelsDir.isEmpty()) config_.modelsDir = QDir::homePath() + QStringLiteral("/.whisper-models");
    // The orphan sweep and the port freeing recognise the server by its program.
    Orphans::setRecognitionPrograms({config_.binary});
}

ServerManager::~ServerManager() { stop(); }

qint32 ServerManager::pid() const {
    // The id recorded at launch: a process that has just ended reports 0, which must never
    // pass for a process id.
    const int pid = proc_ ? proc_->property("murmeloPid").toInt() : 0;
    return pid > 0 ? qint32(pid) : -1;
}

bool ServerManager::isRunning() const { return proc_ && proc_->state() == QProcess::Running; }

void ServerManager::runInBackground(std::function<void()> job) const {
    if (config_.background) {
        config_.background(std::move(job));
        return;
    }
    QThreadPool::globalInstance()->start(std::move(job));
}

QString ServerManager::modelURL(const ModelChoice& model) const {
    return QDir(config_.modelsDir).filePath(model.filename);
}

std::optional<QString> ServerManager::sherpaModelDir(const ModelChoice& model) const {
    const QString dev = murmeloDevPath(QStringLiteral("release/sherpa/") + model.filename);
    if (SherpaEngine::modelComplete(dev)) return dev;
    const QString own = QDir(config_.modelsDir).filePath(model.filename);
    if (SherpaEngine::modelComplete(own)) return own;
    return std::nullopt;
}

bool ServerManager::isDownloaded(const ModelChoice& model) const {
    if (model.engine == ASREngine::sherpa) return sherpaModelDir(model).has_value();
    return QFileInfo::exists(modelURL(model));
}

bool ServerManager::isUsable(const ModelChoice& model) const {
    if (!isDownloaded(model)) return false;
    return model.engine == ASREngine::whisper || SherpaEngine::shared().isAvailable();
}

QStringList ServerManager::arguments(const ModelChoice& model) {
    return QStringList{QStringLiteral("-m"), modelURL(model), QStringLiteral("-l"), QStringLiteral("auto"),
                       QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                       QString::number(config_.port), QStringLiteral("-t"), QStringLiteral("4")} +
           vadServerArguments(QStringLiteral("whisper-server"),
                              config_.vadModel ? config_.vadModel() : whisperVADModelPath());
}

void ServerManager::start(const ModelChoice& model) {
    if (model.engine == ASREngine::sherpa) {
        stop();
        Orphans::freePort(config_.port);
        lastModel_.reset();
        const auto dir = sherpaModelDir(model);
        if (!dir) {
            logLine(QStringLiteral("Parakeet model is not installed"));
            return;
        }
        logLine(QStringLiteral("Parakeet selected; Whisper sidecar is not started for dictation"));
        SherpaEngine::shared().warmUp(*dir);
        return;
    }
    SherpaEngine::shared().unload();
    stop();
    Orphans::freePort(config_.port);
    QDir().mkpath(config_.modelsDir);
    if (!QFileInfo::exists(config_.binary)) {
        logLine(QStringLiteral("нет бинаря whisper-server: ") + config_.binary);
        return;
    }
    if (!isDownloaded(model)) {
        logLine(QStringLiteral("модель не загружена: ") + model.filename);
        return;
    }
    launch(model);
}

void ServerManager::launch(const ModelChoice& model) {
    auto* process = new QProcess;
    process->setProgram(config_.binary);
    process->setArguments(arguments(model));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    Orphans::markOwner(environment);
    process->setProcessEnvironment(environment);

    const QString log = SERVER_LOG();
    Log::prepareSidecar(log);
    Log::markSidecar(log, QStringLiteral("whisper-server старт ") + model.filename + QStringLiteral(" порт ") +
                              QString::number(config_.port) +
                              (vadGateEnabled() ? QStringLiteral(" гейт тишины ВКЛ") : QStringLiteral(" гейт тишины ВЫКЛ")));
    // A log that cannot be opened leaves the output where it was rather than failing the start.
    if (QFile probe(log); probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        probe.close();
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(log, QIODevice::Append);
    } else {
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    }

    const quint64 launch = ++launch_;
    QPointer<ServerManager> self(this);
    QObject::connect(process, &QProcess::finished, this, [self, process, launch](int code, QProcess::ExitStatus) {
        const qint32 pid = process->property("murmeloPid").toInt();
        forgetChildForDeath(DeathChild::whisperServer, pid);
        MainQueue::shared().post([self, launch, code] {
            if (self) self->onDeath(launch, code);
        });
    });
    proc_ = process;
    lastModel_ = model;
    current_->store(launch);

    process->start();
    if (!process->waitForStarted(10000)) {
        const QString error = process->errorString();
        proc_ = nullptr;
        current_->store(0);
        process->disconnect(this);
        process->deleteLater();
        logLine(QStringLiteral("ошибка запуска whisper-server: ") + error);
        return;
    }
    const qint32 pid = qint32(process->processId());
    process->setProperty("murmeloPid", pid);
    rememberChildForDeath(DeathChild::whisperServer, pid);
    logLine(QStringLiteral("whisper-server старт: ") + model.filename + QStringLiteral(" (pid ") + QString::number(pid) +
            QStringLiteral(")"));
    warmUpAfterStart(pid);
}

void ServerManager::stop() {
    if (!proc_) return;
    QProcess* process = proc_;
    proc_ = nullptr;
    current_->store(0);
    // Taken off the death handling first, so that a stop is never counted as a death.
    process->disconnect(this);
    // The slot is cleared now rather than when the process is reaped, so that the death
    // handlers never signal a server this manager has let go of.
    forgetChildForDeath(DeathChild::whisperServer, process->property("murmeloPid").toInt());
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // Freed once reaped; the stop does not wait for the end.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->terminate();
}

void ServerManager::onDeath(quint64 launch, int code) {
    if (!proc_ || launch != launch_) return;
    proc_->deleteLater();
    proc_ = nullptr;
    current_->store(0);
    const double now = Clock::shared().uptime();
    QList<double> kept;
    for (double t : deaths_)
        if (now - t < DEATH_WINDOW) kept << t;
    kept << now;
    deaths_ = kept;
    const QString head = QStringLiteral("⚰ whisper-server умер (код ") + QString::number(code) + QStringLiteral(")") +
                         deathHint(code);
    if (deaths_.size() <= RESTARTS_PER_WINDOW) {
        if (!lastModel_) return;
        logLine(head + QStringLiteral(" — поднимаю заново ") + QStringLiteral("(") + QString::number(deaths_.size()) +
                QStringLiteral("-я смерть за минуту)"));
        start(*lastModel_);
        return;
    }
    logLine(head + QStringLiteral(" — шестая смерть за минуту, ФОНОВЫЙ ") +
            QStringLiteral("перезапуск остановлен: сервер не держится, причина — в ") + SERVER_LOG() +
            QStringLiteral(". ") + QStringLiteral("Следующая надиктовка поднимет его по требованию"));
}

void ServerManager::warmUpAfterStart(qint32 pid) {
    QPointer<ServerManager> self(this);
    const quint16 port = config_.port;
    const QUrl endpoint = config_.endpoint;
    // Off the main thread; the manager is looked at only through a hop to the main thread.
    const std::shared_ptr<std::atomic<quint64>> current = current_;
    const quint64 launch = launch_;
    runInBackground([self, pid, port, endpoint, current, launch] {
        // A server replaced or stopped meanwhile is not this warm-up's to warm: it ends
        // without a word, also while still waiting for the port.
        const auto wanted = [current, launch] { return current->load() == launch; };
        if (!waitServerReady(port, 30, wanted)) {
            if (wanted()) logLine(QStringLiteral("whisper-server: прогрев отменён — сервер не открыл порт"));
            return;
        }
        auto answer = std::make_shared<std::promise<qint32>>();
        std::future<qint32> running = answer->get_future();
        MainQueue::shared().post([self, answer] { answer->set_value(self ? self->pid() : -1); });
        if (running.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return;
        qint32 runningPid = -1;
        try {
            runningPid = running.get();
        } catch (const std::future_error&) {
            return;  // the main queue went away unanswered
        }
        if (runningPid != pid) return;

        const QString b = WhisperRequest::boundary(QStringLiteral("Boundary-warmup-"));
        const QByteArray body = WhisperRequest::multipartBody(b, QStringLiteral("warmup.wav"), warmupAudio(),
                                                              WhisperRequest::warmupFields());
        QElapsedTimer elapsed;
        elapsed.start();
        const HttpResult reply = loopbackHttp("POST", endpoint, WhisperRequest::contentType(b), body,
                                              WhisperRequest::WARMUP_TIMEOUT, WhisperRequest::WARMUP_TIMEOUT);
        const QString ms = QString::number(elapsed.elapsed());
        if (!reply.responded) {
            logLine(QStringLiteral("whisper-server: прогрев не прошёл за ") + ms + QStringLiteral(" мс — ") + reply.error +
                    QStringLiteral(". ") + QStringLiteral("Первая запись без речи может уронить сайдкар (он поднимется сам)"));
            return;
        }
        logLine(QStringLiteral("whisper-server: прогрет за ") + ms +
                QStringLiteral(" мс — запись без речи больше не валит сайдкар"));
    });
}

bool waitServerReady(quint16 port, double timeout, const std::function<bool()>& stillWanted) {
    QDeadlineTimer deadline(qint64(timeout * 1000));
    while (!deadline.hasExpired() && timeout > 0 && (!stillWanted || stillWanted())) {
        if (loopbackHttp("GET", probeURL(port), {}, {}, 2.0, 2.5).responded) return true;
        if (deadline.remainingTime() <= 300) return false;
        QThread::msleep(300);
    }
    return false;
}

bool ServerManager::waitReady(double timeout) const { return waitServerReady(config_.port, timeout); }

void ServerManager::recognitionReady(std::function<void(bool)> callback) {
    const auto model = currentModel();
    if (model && model->engine == ASREngine::sherpa) {
        const bool loaded = SherpaEngine::shared().isLoaded();
        MainQueue::shared().post([callback = std::move(callback), loaded] { callback(loaded); });
        return;
    }
    const quint16 port = config_.port;
    runInBackground([callback = std::move(callback), port] {
        const bool ready = loopbackHttp("GET", probeURL(port), {}, {}, 2.0, 2.5).responded;
        MainQueue::shared().post([callback, ready] { callback(ready); });
    });
}

void ServerManager::reviveIfNeeded() {
    if (isRunning()) return;
    std::optional<ModelChoice> model = lastModel_;
    if (!model)
        for (const ModelChoice& m : WHISPER_MODELS())
            if (isDownloaded(m)) {
                model = m;
                break;
            }
    if (!model) {
        logLine(QStringLiteral("whisper-server поднять нечем: ни одной загруженной модели"));
        return;
    }
    logLine(QStringLiteral("whisper-server не запущен — поднимаю по требованию"));
    start(*model);
}

}  // namespace murmelo
