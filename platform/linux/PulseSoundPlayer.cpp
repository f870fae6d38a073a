#include "linux/PulseSoundPlayer.h"

#include <QCoreApplication>
#include <QtEndian>

#include <cmath>
#include <mutex>
#include <pulse/pulseaudio.h>

namespace murmelo::linuxdesktop {
namespace {

constexpr int RATE = PulseSoundPlayer::SAMPLE_RATE;

struct Tone {
    const char* name;
    double startHz;
    double endHz;
    double seconds;
    double decay;  // per second, of the amplitude's exponential fade
};

// Short and distinct: a low pop, a high tink, and a longer falling bottle note for a rollback.
constexpr Tone TONES[] = {
    {"Pop", 520, 380, 0.07, 45},
    {"Tink", 2100, 2100, 0.09, 40},
    {"Bottle", 330, 260, 0.22, 14},
};

void putLE32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void putLE16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

constexpr int WAV_HEADER_BYTES = 44;

}  // namespace

// One connection to the sound server, made on the first play and kept; a server that is
// gone is asked again at the next play. All of it runs under the loop's lock.
class PulseSoundPlayer::Engine {
public:
    Engine() : loop_(pa_threaded_mainloop_new()) {
        if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }
    ~Engine() {
        if (!loop_) return;
        pa_threaded_mainloop_stop(loop_);
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_threaded_mainloop_free(loop_);
    }
    pa_threaded_mainloop* loop() const { return loop_; }

    // The context, connecting or ready; none when it cannot even be started. Under the lock.
    pa_context* contextLocked() {
        if (context_) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (PA_CONTEXT_IS_GOOD(state)) return context_;
            pa_context_unref(context_);
            context_ = nullptr;
        }
        const QByteArray name = QCoreApplication::applicationName().toUtf8();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), name.isEmpty() ? "murmelo" : name.constData());
        if (!context_) return nullptr;
        pa_context_set_state_callback(context_, [](pa_context*, void* self) { static_cast<Engine*>(self)->contextChanged(); }, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            pa_context_unref(context_);
            context_ = nullptr;
        }
        return context_;
    }

    // Sounds waiting for the context to be ready start then, or are dropped when it fails.
    std::vector<std::function<void(bool ready)>> waiting;

private:
    void contextChanged() {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state)) return;
        auto run = std::move(waiting);
        waiting.clear();
        for (auto& fn : run) fn(state == PA_CONTEXT_READY);
    }

    pa_threaded_mainloop* loop_;
    pa_context* context_ = nullptr;
};

namespace {

// One tone: each play writes its samples into a fresh playback stream and lets the server
// drain it; nothing here waits for the server.
class PulseSound : public Sound, public std::enable_shared_from_this<PulseSound> {
public:
    PulseSound(std::shared_ptr<PulseSoundPlayer::Engine> engine, QString name, QByteArray pcm)
        : engine_(std::move(engine)), name_(name.toUtf8()), pcm_(std::move(pcm)) {}
    ~PulseSound() override { stop(); }

    bool isPlaying() override {
        if (!engine_->loop()) return false;
        pa_threaded_mainloop_lock(engine_->loop());
        const bool playing = playing_;
        pa_threaded_mainloop_unlock(engine_->loop());
        return playing;
    }
    void stop() override {
        if (!engine_->loop()) return;
        pa_threaded_mainloop_lock(engine_->loop());
        ++generation_;
        endLocked();
        pa_threaded_mainloop_unlock(engine_->loop());
    }
    void play() override {
        if (!engine_->loop()) return;
        pa_threaded_mainloop_lock(engine_->loop());
        const quint64 generation = ++generation_;
        endLocked();
        pa_context* context = engine_->contextLocked();
        if (context && pa_context_get_state(context) == PA_CONTEXT_READY) {
            startLocked(context);
        } else if (context) {
            playing_ = true;
            std::weak_ptr<PulseSound> weak = weak_from_this();
            engine_->waiting.push_back([weak, generation, context](bool ready) {
                auto self = weak.lock();
                if (!self || self->generation_ != generation) return;
                if (ready) self->startLocked(context);
                else self->playing_ = false;
            });
        }
        pa_threaded_mainloop_unlock(engine_->loop());
    }

private:
    void startLocked(pa_context* context) {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(PulseSoundPlayer::SAMPLE_RATE), 1};
        stream_ = pa_stream_new(context, name_.constData(), &spec, nullptr);
        if (!stream_) {
            playing_ = false;
            return;
        }
        written_ = 0;
        pa_stream_set_write_callback(stream_, [](pa_stream*, size_t bytes, void* self) { static_cast<PulseSound*>(self)->writeLocked(bytes); }, this);
        pa_stream_set_state_callback(stream_, [](pa_stream* s, void* self) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) static_cast<PulseSound*>(self)->endLocked();
        }, this);
        if (pa_stream_connect_playback(stream_, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) < 0) {
            endLocked();
            return;
        }
        playing_ = true;
    }

    void writeLocked(size_t bytes) {
        if (!stream_) return;
        const size_t left = size_t(pcm_.size()) - written_;
        const size_t n = std::min(bytes, left);
        if (n > 0 && pa_stream_write(stream_, pcm_.constData() + written_, n, nullptr, 0, PA_SEEK_RELATIVE) == 0)
            written_ += n;
        if (written_ < size_t(pcm_.size())) return;
        // Everything is with the server: the sound ends when it has played it.
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        drain_ = pa_stream_drain(stream_, [](pa_stream*, int, void* self) { static_cast<PulseSound*>(self)->drained(); }, this);
    }

    void drained() {
        pa_operation_unref(drain_);
        drain_ = nullptr;
        endLocked();
    }

    void endLocked() {
        playing_ = false;
        if (drain_) {
            // Stopped before the server played it all: the drain must not call back.
            pa_operation_cancel(drain_);
            pa_operation_unref(drain_);
            drain_ = nullptr;
        }
        if (!stream_) return;
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    std::shared_ptr<PulseSoundPlayer::Engine> engine_;
    QByteArray name_;
    QByteArray pcm_;
    pa_stream* stream_ = nullptr;
    pa_operation* drain_ = nullptr;
    size_t written_ = 0;
    bool playing_ = false;
    quint64 generation_ = 0;
};

}  // namespace

QByteArray PulseSoundPlayer::toneWav(const QString& name) {
    const Tone* tone = nullptr;
    for (const Tone& t : TONES)
        if (name == QLatin1String(t.name)) tone = &t;
    if (!tone) return {};
    const int frames = int(tone->seconds * RATE);
    QByteArray pcm;
    pcm.reserve(frames * 2);
    double phase = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / RATE;
        const double hz = tone->startHz + (tone->endHz - tone->startHz) * (double(i) / frames);
        phase += 2 * M_PI * hz / RATE;
        // A 3 ms attack keeps the start from clicking; the tail fades to silence.
        const double attack = std::min(1.0, t / 0.003);
        const double release = std::min(1.0, double(frames - i) / (0.005 * RATE));
        const double amp = 0.35 * attack * release * std::exp(-tone->decay * t);
        putLE16(pcm, quint16(qint16(std::lround(amp * 32767 * std::sin(phase)))));
    }
    QByteArray out;
    out.append("RIFF", 4);
    putLE32(out, quint32(36 + pcm.size()));
    out.append("WAVEfmt ", 8);
    putLE32(out, 16);
    putLE16(out, 1);  // PCM
    putLE16(out, 1);  // mono
    putLE32(out, RATE);
    putLE32(out, RATE * 2);
    putLE16(out, 2);
    putLE16(out, 16);
    out.append("data", 4);
    putLE32(out, quint32(pcm.size()));
    out.append(pcm);
    return out;
}

PulseSoundPlayer::PulseSoundPlayer() : engine_(std::make_shared<Engine>()) {}

PulseSoundPlayer::~PulseSoundPlayer() = default;

std::shared_ptr<Sound> PulseSoundPlayer::load(const QString& name) {
    const QByteArray wav = toneWav(name);
    if (wav.isEmpty()) return nullptr;
    return std::make_shared<PulseSound>(engine_, name, wav.mid(WAV_HEADER_BYTES));
}

}  // namespace murmelo::linuxdesktop
