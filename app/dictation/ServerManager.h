#pragma once
#include "dictation/ModelCatalog.h"
#include "dictation/WhisperRequest.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QProcess;

namespace murmelo {

// Where the recognition server program is: MURMELO_WHISPER_SERVER when set, else the
// developer tree's release/whisper-server when it is executable, else "whisper-server"
// beside this program, else on PATH. When none exists, the path beside this program (so
// that the log names where it was expected).
QString whisperServerBinaryPath();
inline constexpr const char* VAD_MODEL_FILE = "ggml-silero-v6.2.0.bin";
std::optional<QString> whisperVADModelPath();
// The user setting "silenceGateVAD"; anything but a stored Boolean means on.
bool vadGateEnabled();
const QStringList& VAD_ARGS();
QString SERVER_LOG();
// The voice-activity part of the server's command line; logs when the gate is off or its
// model is missing. tag starts those lines.
QStringList vadServerArguments(const QString& tag, const std::optional<QString>& vadModel = whisperVADModelPath());
QString deathHint(int code);
// Asks GET / on the port until any HTTP answer comes (true) or the time is up (false);
// each probe waits at most 2.5 s, with 0.3 s between probes. Blocks; never on the main thread.
// stillWanted, when given, ends the wait early (false) once it turns false.
bool waitServerReady(quint16 port, double timeout, const std::function<bool()>& stillWanted = {});

// Owns the local recognition server: finds the program and the models, starts it with its
// output in a sidecar log, warms it up, restarts it when it dies (at most five deaths a
// minute), starts it on demand, answers whether recognition is ready, and stops it. For the
// transducer model it stops the server and hands the model folder to the in-process engine.
// Everything but waitReady runs on the main thread.
class ServerManager : public QObject {
public:
    struct Config {
        QString binary = whisperServerBinaryPath();
        QString modelsDir;  // empty: ~/.whisper-models
        quint16 port = SERVER_PORT;
        QUrl endpoint = SERVER();  // where the warm-up request goes
        // Runs a bounded job off the main thread (empty: the global thread pool).
        std::function<void(std::function<void()>)> background;
        // Finds the voice-activity model (empty: whisperVADModelPath).
        std::function<std::optional<QString>()> vadModel;
    };

    static ServerManager& shared();
    explicit ServerManager(Config config);
    ServerManager() : ServerManager(Config{}) {}
    ~ServerManager() override;

    void start(const ModelChoice& model);
    void stop();
    void reviveIfNeeded();
    // Blocks until the server answers the readiness probe or the time is up. Never on the
    // main thread.
    bool waitReady(double timeout) const;
    // Answers on the main thread.
    void recognitionReady(std::function<void(bool)> callback);

    bool isDownloaded(const ModelChoice& model) const;
    bool isUsable(const ModelChoice& model) const;
    QString modelURL(const ModelChoice& model) const;
    std::optional<QString> sherpaModelDir(const ModelChoice& model) const;

    const QString& binary() const { return config_.binary; }
    const QString& modelsDir() const { return config_.modelsDir; }
    // The running server's process id, or -1.
    qint32 pid() const;
    bool isRunning() const;
    const std::optional<ModelChoice>& lastModel() const { return lastModel_; }
    // Deaths counted in the last minute.
    int recentDeaths() const { return int(deaths_.size()); }
    QStringList arguments(const ModelChoice& model);

private:
    void launch(const ModelChoice& model);
    void onDeath(quint64 launch, int code);
    void warmUpAfterStart(qint32 pid);
    void runInBackground(std::function<void()> job) const;

    Config config_;
    QProcess* proc_ = nullptr;
    quint64 launch_ = 0;  // which start proc_ came from; a death of an older one is ignored
    // The launch whose server runs (0: none), read by warm-ups off the main thread.
    std::shared_ptr<std::atomic<quint64>> current_ = std::make_shared<std::atomic<quint64>>(0);
    std::optional<ModelChoice> lastModel_;
    QList<double> deaths_;
};

}  // namespace murmelo
