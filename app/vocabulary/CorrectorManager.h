#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <optional>

class QProcess;

namespace murmelo {

inline constexpr const char* CORRECTOR_BINARY_NAME = "corrector-server";
inline constexpr quint16 CORRECTOR_PORT = 8911;
inline constexpr const char* CORRECTOR_MODEL_DIRNAME = "vudi_ct2_int8";

// How to run the corrector server: the program beside the application, or a developer
// interpreter with its server script.
struct CorrectorEngine {
    enum class Kind { bundled, dev };
    Kind kind = Kind::bundled;
    QString binary;  // bundled
    QString python;  // dev
    QString script;  // dev

    static CorrectorEngine bundled(const QString& binary) { return {Kind::bundled, binary, {}, {}}; }
    static CorrectorEngine dev(const QString& python, const QString& script) { return {Kind::dev, {}, python, script}; }
    QString program() const { return kind == Kind::bundled ? binary : python; }
    QStringList arguments(quint16 port, const QString& modelDir) const;
    bool operator==(const CorrectorEngine&) const = default;
};

enum class CorrectorReadiness { ready, modelMissing, engineMissing };
// The readiness as the log names it.
QString correctorReadinessName(CorrectorReadiness r);

// The recognition models folder, where the corrector model is installed.
QString defaultCorrectorModelsDir();
// The developer tree's model folder when it holds "model.bin", else the folder in modelsDir
// (empty: the recognition models folder), whether or not it exists.
QString correctorModelDir(const QString& modelsDir = {});
bool correctorModelPresent(const QString& modelsDir = {});
// The engine found now; appDir is where the installed program is looked for (empty: the
// application's executable folder).
std::optional<CorrectorEngine> resolveCorrectorEngine(const QString& appDir = {});
// The engine found at first use, kept for the life of the process.
const std::optional<CorrectorEngine>& correctorEngineAtLaunch();
CorrectorReadiness correctorReadiness(const std::optional<CorrectorEngine>& engine, const QString& modelsDir = {});
CorrectorReadiness correctorReadiness();
QString correctorNoticeText(const std::optional<CorrectorEngine>& engine, const QString& modelsDir = {});
QString correctorNoticeText();
// The polish setting: the stored Boolean "polishEnabled", else whether an engine was found.
bool isPolishEnabled();

// Owns the corrector server as a child process: starts it while polish is on (or when
// forced), restarts it on the next start, stops it. Nothing watches it; a dead server is
// replaced by the next start. start and stop may be called from any thread; from another
// thread they wait for the main thread at most ownerWaitSeconds, and one the main thread has
// not taken up by then is dropped.
class CorrectorManager {
public:
    struct Config {
        quint16 port = CORRECTOR_PORT;
        QString modelsDir;  // empty: the recognition models folder
        // The engine to run (empty: correctorEngineAtLaunch).
        std::function<std::optional<CorrectorEngine>()> engine;
        QString logPath;  // empty: "corrector.log" in the log folder
        // How long a start or stop from another thread waits for the main thread to take it
        // up and finish it (a launch itself may take up to 10 s).
        double ownerWaitSeconds = 15.0;
    };

    static CorrectorManager& shared();
    explicit CorrectorManager(Config config);
    CorrectorManager() : CorrectorManager(Config{}) {}
    ~CorrectorManager();
    CorrectorManager(const CorrectorManager&) = delete;
    CorrectorManager& operator=(const CorrectorManager&) = delete;

    void start(bool force = false);
    void stop();

    // The current server's process id, or -1 when there is none.
    qint32 pid() const;
    const QString& logPath() const { return logPath_; }

private:
    void startLocked(bool force);
    void stopLocked();
    // Runs fn on the thread that owns the child processes, waiting for it a bounded time.
    void onOwnerThread(const QString& what, const std::function<void()>& fn);

    Config config_;
    QString logPath_;
    mutable std::recursive_mutex mutex_;
    QProcess* proc_ = nullptr;
};

}  // namespace murmelo
