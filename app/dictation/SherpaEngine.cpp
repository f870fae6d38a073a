#include "dictation/SherpaEngine.h"

#include "base/Log.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <limits>

#ifndef MURMELO_SHERPA_RUNTIME_DIR
#define MURMELO_SHERPA_RUNTIME_DIR ""
#endif

namespace murmelo {

namespace {

constexpr const char* LIBRARY_FILE = "libsherpa-onnx-c-api.so";

// The leading members of the library's offline-recogniser configuration record: the feature
// settings, then the model settings up to the model type. Later members have grown from one
// library version to the next, so they are not spelled out: the record is handed over inside
// a zeroed block far larger than any version's record, and every member not set here reads
// as zero or null, which the library takes as its default (greedy search among them).
struct RecognizerConfigHead {
    int32_t sampleRate;
    int32_t featureDim;
    const char* transducerEncoder;
    const char* transducerDecoder;
    const char* transducerJoiner;
    const char* paraformerModel;
    const char* nemoCtcModel;
    const char* whisperEncoder;
    const char* whisperDecoder;
    const char* whisperLanguage;
    const char* whisperTask;
    int32_t whisperTailPaddings;
    const char* tdnnModel;
    const char* tokens;
    int32_t numThreads;
    int32_t debug;
    const char* provider;
    const char* modelType;
};
union RecognizerConfig {
    RecognizerConfigHead head;
    unsigned char room[16384];
};

struct RecognizerResultHead {
    const char* text;
};

using CreateRecognizerFn = void* (*)(const void*);
using DestroyRecognizerFn = void (*)(void*);
using CreateStreamFn = void* (*)(void*);
using AcceptWaveformFn = void (*)(void*, int32_t, const float*, int32_t);
using DecodeFn = void (*)(void*, void*);
using GetResultFn = const RecognizerResultHead* (*)(void*);
using DestroyResultFn = void (*)(const RecognizerResultHead*);
using DestroyStreamFn = void (*)(void*);

// NUL-terminated copies that live exactly as long as the create call needs them.
class CStrings {
public:
    const char* add(const QString& s) {
        char* c = strdup(s.toUtf8().constData());
        owned_.push_back(c);
        return c;
    }
    ~CStrings() {
        for (char* c : owned_) free(c);
    }

private:
    std::vector<char*> owned_;
};

quint32 le32(const QByteArray& d, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(d.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
quint16 le16(const QByteArray& d, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(d.constData()) + at;
    return quint16(p[0] | p[1] << 8);
}

}  // namespace

SherpaRuntime::SherpaRuntime(QStringList libraryCandidates) : candidates_(std::move(libraryCandidates)) {
    queue_.setMaxThreadCount(1);
    queue_.setExpiryTimeout(-1);
}

SherpaRuntime::~SherpaRuntime() {
    queue_.waitForDone();
    {
        std::lock_guard guard(lock_);
        unloadLocked();
    }
    // The library stays loaded, as the process's own runtime does: its inference runtime
    // keeps threads and static state from its start that unloading would pull away.
}

QStringList SherpaRuntime::defaultCandidates() {
    QStringList list{QString::fromLatin1(LIBRARY_FILE),
                     QDir::homePath() + QStringLiteral("/Documents/Murmelo/release/sherpa/runtime/lib/") + LIBRARY_FILE};
    const QString built = QStringLiteral(MURMELO_SHERPA_RUNTIME_DIR);
    if (!built.isEmpty()) list << built + QLatin1Char('/') + LIBRARY_FILE;
    return list;
}

SherpaRuntime& SherpaRuntime::process() {
    // Kept for the life of the process: background loads may still run at exit.
    static SherpaRuntime* runtime = new SherpaRuntime(defaultCandidates());
    return *runtime;
}

void* SherpaRuntime::library() {
    std::call_once(opened_, [this] {
        QString lastError;
        for (const QString& candidate : candidates_) {
            handle_ = dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
            if (handle_) return;
            if (const char* e = dlerror()) lastError = QString::fromLocal8Bit(e);
        }
        logLine(QStringLiteral("Parakeet runtime unavailable: ") +
                (lastError.isEmpty() ? QStringLiteral("library unavailable") : lastError));
    });
    return handle_;
}

bool SherpaRuntime::isAvailable() { return library() != nullptr; }

void* SherpaRuntime::symbol(const char* name) {
    void* h = library();
    void* fn = h ? dlsym(h, name) : nullptr;
    if (!fn) logLine(QStringLiteral("Parakeet runtime lacks required symbol: ") + QString::fromLatin1(name));
    return fn;
}

bool SherpaRuntime::isLoaded() const {
    std::lock_guard guard(readyLock_);
    return loadedFlag_;
}

void SherpaRuntime::setLoaded(bool loaded) {
    std::lock_guard guard(readyLock_);
    loadedFlag_ = loaded;
}

bool SherpaRuntime::loadLocked(const QString& dir) {
    if (loadedDir_ == dir && recognizer_) return true;
    unloadLocked();
    for (const QString& name : SherpaEngine::requiredFiles()) {
        if (!QFileInfo::exists(QDir(dir).filePath(name))) {
            logLine(QStringLiteral("Parakeet model files are missing in ") + dir);
            return false;
        }
    }
    auto create = reinterpret_cast<CreateRecognizerFn>(symbol("SherpaOnnxCreateOfflineRecognizer"));
    if (!create) return false;

    CStrings strings;
    RecognizerConfig config;
    std::memset(&config, 0, sizeof config);
    config.head.transducerEncoder = strings.add(QDir(dir).filePath(QStringLiteral("encoder.int8.onnx")));
    config.head.transducerDecoder = strings.add(QDir(dir).filePath(QStringLiteral("decoder.int8.onnx")));
    config.head.transducerJoiner = strings.add(QDir(dir).filePath(QStringLiteral("joiner.int8.onnx")));
    config.head.tokens = strings.add(QDir(dir).filePath(QStringLiteral("tokens.txt")));
    config.head.numThreads = 4;
    config.head.debug = 0;
    config.head.provider = strings.add(QStringLiteral("cpu"));
    config.head.modelType = strings.add(QStringLiteral("nemo_transducer"));
    QElapsedTimer timer;
    timer.start();
    void* recognizer = create(&config);
    if (!recognizer) {
        logLine(QStringLiteral("Parakeet model failed to load from ") + dir);
        return false;
    }
    recognizer_ = recognizer;
    loadedDir_ = dir;
    setLoaded(true);
    logLine(QString::asprintf("Parakeet model loaded in %.2f s", double(timer.nsecsElapsed()) / 1e9));
    return true;
}

void SherpaRuntime::unloadLocked() {
    setLoaded(false);
    if (recognizer_) {
        if (auto destroy = reinterpret_cast<DestroyRecognizerFn>(symbol("SherpaOnnxDestroyOfflineRecognizer")))
            destroy(recognizer_);
        recognizer_ = nullptr;
    }
    loadedDir_.reset();
}

bool SherpaRuntime::load(const QString& dir) {
    std::lock_guard guard(lock_);
    return loadLocked(dir);
}

void SherpaRuntime::warmUp(const QString& dir) {
    queue_.start([this, dir] { load(dir); });
}

void SherpaRuntime::unload() {
    queue_.start([this] {
        std::lock_guard guard(lock_);
        if (recognizer_) logLine(QStringLiteral("Parakeet model unloaded"));
        unloadLocked();
    });
}

void SherpaRuntime::release(const QString& dir) {
    std::lock_guard guard(lock_);
    if (!recognizer_ || !loadedDir_) return;
    const auto canonical = [](const QString& d) { return QDir::cleanPath(QFileInfo(d).absoluteFilePath()); };
    if (canonical(*loadedDir_) != canonical(dir)) return;
    logLine(QStringLiteral("Parakeet model unloaded"));
    unloadLocked();
}

void SherpaRuntime::waitForBackground() { queue_.waitForDone(); }

std::optional<QString> SherpaRuntime::transcribe(const std::vector<float>& samples, qint32 sampleRate,
                                                 const QString& dir) {
    if (sampleRate < 1 || samples.empty() || samples.size() > size_t(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    std::lock_guard guard(lock_);
    if (!loadLocked(dir) || !recognizer_) return std::nullopt;

    auto createStream = reinterpret_cast<CreateStreamFn>(symbol("SherpaOnnxCreateOfflineStream"));
    if (!createStream) return std::nullopt;
    auto accept = reinterpret_cast<AcceptWaveformFn>(symbol("SherpaOnnxAcceptWaveformOffline"));
    if (!accept) return std::nullopt;
    auto decode = reinterpret_cast<DecodeFn>(symbol("SherpaOnnxDecodeOfflineStream"));
    if (!decode) return std::nullopt;
    auto getResult = reinterpret_cast<GetResultFn>(symbol("SherpaOnnxGetOfflineStreamResult"));
    if (!getResult) return std::nullopt;
    auto destroyResult = reinterpret_cast<DestroyResultFn>(symbol("SherpaOnnxDestroyOfflineRecognizerResult"));
    if (!destroyResult) return std::nullopt;
    auto destroyStream = reinterpret_cast<DestroyStreamFn>(symbol("SherpaOnnxDestroyOfflineStream"));
    if (!destroyStream) return std::nullopt;

    void* stream = createStream(recognizer_);
    if (!stream) return std::nullopt;
    accept(stream, sampleRate, samples.data(), int32_t(samples.size()));
    decode(recognizer_, stream);
    const RecognizerResultHead* result = getResult(stream);
    if (!result) {
        destroyStream(stream);
        return std::nullopt;
    }
    const QString text = result->text ? QString::fromUtf8(result->text) : QString();
    destroyResult(result);
    destroyStream(stream);
    return text;
}

const QStringList& SherpaEngine::requiredFiles() {
    static const QStringList files{QStringLiteral("encoder.int8.onnx"), QStringLiteral("decoder.int8.onnx"),
                                   QStringLiteral("joiner.int8.onnx"), QStringLiteral("tokens.txt")};
    return files;
}

bool SherpaEngine::modelComplete(const QString& dir) {
    for (const QString& name : requiredFiles())
        if (!QFileInfo::exists(QDir(dir).filePath(name))) return false;
    return true;
}

std::optional<PcmSamples> SherpaEngine::pcmSamples(const QByteArray& wav) {
    if (wav.size() < 45 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE") return std::nullopt;
    const qint64 size = wav.size();
    quint16 format = 0, channels = 0, bits = 0;
    quint32 rate = 0;
    std::optional<std::pair<qint64, qint64>> data;  // start, length as claimed
    qint64 at = 12;
    while (at + 8 <= size) {
        const QByteArray id = wav.mid(at, 4);
        const qint64 length = le32(wav, at + 4);
        const qint64 body = at + 8;
        if (body + length > size) return std::nullopt;
        if (id == "fmt " && length >= 16) {
            format = le16(wav, body);
            channels = le16(wav, body + 2);
            rate = le32(wav, body + 4);
            bits = le16(wav, body + 14);
        } else if (id == "data") {
            data = std::make_pair(body, length);
            break;
        }
        at = body + length + (length % 2);
    }
    if (!data || format != 1 || bits != 16 || channels < 1 || rate < 1 ||
        rate > quint32(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    const qint64 available = std::min(data->second, size - data->first);
    const qint64 frames = available / (2 * qint64(channels));
    if (frames < 1) return std::nullopt;

    PcmSamples out;
    out.sampleRate = qint32(rate);
    out.samples.reserve(size_t(frames));
    const auto* p = reinterpret_cast<const unsigned char*>(wav.constData()) + data->first;
    for (qint64 f = 0; f < frames; ++f) {
        double sum = 0;
        for (int c = 0; c < channels; ++c, p += 2) sum += double(qint16(quint16(p[0] | p[1] << 8)));
        out.samples.push_back(float(sum / channels * (1.0 / 32768.0)));
    }
    return out;
}

std::optional<QByteArray> SherpaEngine::completionPayload(const QString& text) {
    QJsonObject segment{{QStringLiteral("text"), text}};
    QJsonObject doc{{QStringLiteral("text"), text}, {QStringLiteral("segments"), QJsonArray{segment}}};
    return QJsonDocument(doc).toJson(QJsonDocument::Compact);
}

}  // namespace murmelo
