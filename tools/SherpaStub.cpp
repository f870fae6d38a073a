// A stand-in for the transducer library, for tests: the functions the engine calls, with
// behaviour steered by the model folder's files instead of a model.
//   encoder.int8.onnx starting with "broken": the recogniser cannot be created
//   tokens.txt "no-stream" / "no-result" / "no-text": that step fails or the text is null
//   tokens.txt otherwise: the recognised text is its contents, the sample count and the rate
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct ConfigHead {
    int32_t sampleRate;
    int32_t featureDim;
    const char* encoder;
    const char* decoder;
    const char* joiner;
    const char* paraformer;
    const char* nemoCtc;
    const char* whisper[4];
    int32_t whisperTailPaddings;
    const char* tdnn;
    const char* tokens;
    int32_t numThreads;
    int32_t debug;
    const char* provider;
    const char* modelType;
};

struct Recognizer {
    std::string tokens;
};
struct Stream {
    const Recognizer* recognizer;
    int32_t count = 0;
    int32_t rate = 0;
    bool decoded = false;
};
struct Result {
    const char* text;
    std::string storage;
};

std::string slurp(const char* path) {
    std::ifstream in(path ? path : "");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool same(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* SherpaOnnxCreateOfflineRecognizer(const void* config) {
    const auto* c = static_cast<const ConfigHead*>(config);
    // Only the transducer members and the fixed settings may be set.
    if (!same(c->modelType, "nemo_transducer") || !same(c->provider, "cpu") || c->numThreads != 4 || c->debug != 0 ||
        c->paraformer || c->nemoCtc || c->tdnn || c->whisper[0])
        return nullptr;
    if (slurp(c->encoder).rfind("broken", 0) == 0) return nullptr;
    auto* r = new Recognizer;
    r->tokens = slurp(c->tokens);
    return r;
}

__attribute__((visibility("default"))) void SherpaOnnxDestroyOfflineRecognizer(void* r) {
    delete static_cast<Recognizer*>(r);
}

#ifndef SHERPA_STUB_WITHOUT_STREAMS
__attribute__((visibility("default"))) void* SherpaOnnxCreateOfflineStream(void* r) {
    const auto* rec = static_cast<const Recognizer*>(r);
    if (rec->tokens == "no-stream") return nullptr;
    auto* s = new Stream;
    s->recognizer = rec;
    return s;
}

__attribute__((visibility("default"))) void SherpaOnnxAcceptWaveformOffline(void* s, int32_t rate, const float* samples,
                                                                           int32_t n) {
    auto* st = static_cast<Stream*>(s);
    st->rate = rate;
    st->count = n;
    (void)samples;
}

__attribute__((visibility("default"))) void SherpaOnnxDecodeOfflineStream(void*, void* s) {
    static_cast<Stream*>(s)->decoded = true;
}

__attribute__((visibility("default"))) const void* SherpaOnnxGetOfflineStreamResult(void* s) {
    const auto* st = static_cast<const Stream*>(s);
    const std::string& tokens = st->recognizer->tokens;
    if (tokens == "no-result" || !st->decoded) return nullptr;
    auto* r = new Result;
    if (tokens == "no-text") {
        r->text = nullptr;
        return r;
    }
    r->storage = tokens + " " + std::to_string(st->count) + " " + std::to_string(st->rate);
    r->text = r->storage.c_str();
    return r;
}

__attribute__((visibility("default"))) void SherpaOnnxDestroyOfflineRecognizerResult(const void* r) {
    delete static_cast<const Result*>(r);
}

__attribute__((visibility("default"))) void SherpaOnnxDestroyOfflineStream(void* s) { delete static_cast<Stream*>(s); }
#endif

}  // extern "C"
