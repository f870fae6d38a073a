#pragma once
#include "dictation/ModelCatalog.h"
#include "platform/Service.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace murmelo {

// Float samples of a PCM WAV, one per frame.
struct PcmSamples {
    std::vector<float> samples;
    qint32 sampleRate = 0;
};

// The transducer recogniser behind the sherpa-onnx C library, which is opened at run time.
// One instance serves the process (process()); tests make their own with another library.
class SherpaRuntime {
public:
    // Library files tried in order; a bare file name leaves the search to the dynamic loader.
    explicit SherpaRuntime(QStringList libraryCandidates);
    ~SherpaRuntime();
    SherpaRuntime(const SherpaRuntime&) = delete;
    SherpaRuntime& operator=(const SherpaRuntime&) = delete;

    // The bare name, the developer runtime folder, then the folder the project's setup
    // installs the library into.
    static QStringList defaultCandidates();
    static SherpaRuntime& process();

    // Whether the library could be opened (opens it on first use, once).
    bool isAvailable();
    // Read without waiting for a load or a decode in progress.
    bool isLoaded() const;
    // Load and unload run in the background, in the order they were asked for.
    void warmUp(const QString& dir);
    void unload();
    // Unloads at once when the recogniser was loaded from dir: its files are about to be replaced.
    void release(const QString& dir);
    // Waits for the caller's turn and loads the folder when needed; none on any failure.
    std::optional<QString> transcribe(const std::vector<float>& samples, qint32 sampleRate, const QString& dir);
    // Loads synchronously (what warmUp does in the background).
    bool load(const QString& dir);
    // Waits until the background work asked for so far has run.
    void waitForBackground();

private:
    void* library();
    void* symbol(const char* name);
    bool loadLocked(const QString& dir);
    void unloadLocked();
    void setLoaded(bool loaded);

    QStringList candidates_;
    std::once_flag opened_;
    void* handle_ = nullptr;
    std::mutex lock_;                // loading, transcription, unloading; guards the two below
    void* recognizer_ = nullptr;
    std::optional<QString> loadedDir_;
    mutable std::mutex readyLock_;  // loadedFlag_ only; taken after lock_, never before
    bool loadedFlag_ = false;
    QThreadPool queue_;              // one thread: a serial queue
};

// The transducer engine as the rest of the system sees it. The entries reach the process's
// runtime; tests put stand-ins in their place.
struct SherpaEngine {
    static SherpaEngine& shared() { return sharedService<SherpaEngine>(); }

    static const QStringList& requiredFiles();
    // All required files exist in the folder.
    static bool modelComplete(const QString& dir);

    std::function<bool()> isAvailable = [] { return SherpaRuntime::process().isAvailable(); };
    std::function<bool()> isLoaded = [] { return SherpaRuntime::process().isLoaded(); };
    std::function<void(const QString& dir)> warmUp = [](const QString& dir) { SherpaRuntime::process().warmUp(dir); };
    std::function<void()> unload = [] { SherpaRuntime::process().unload(); };
    std::function<void(const QString& dir)> release = [](const QString& dir) { SherpaRuntime::process().release(dir); };
    std::function<std::optional<QString>(const std::vector<float>&, qint32, const QString&)> transcribe =
        [](const std::vector<float>& samples, qint32 rate, const QString& dir) {
            return SherpaRuntime::process().transcribe(samples, rate, dir);
        };

    // Float samples of a 16-bit integer PCM WAV; none for anything else or a damaged file.
    static std::optional<PcmSamples> pcmSamples(const QByteArray& wav);
    // The reply document, read by the pipeline like the recognition server's reply.
    static std::optional<QByteArray> completionPayload(const QString& text);

    // Unpacks a downloaded model archive, verifies it and puts it at dest in place of the
    // old model. None on success, else the message for the user. Blocks: run it off the
    // main thread. The archive is removed in every case. The archive tool is tar, started
    // with an explicit argument list.
    static std::optional<QString> installArchive(const QString& archive, const QString& dest, const ModelChoice& model,
                                                 const QString& archiveTool = QStringLiteral("/usr/bin/tar"));
};

}  // namespace murmelo
