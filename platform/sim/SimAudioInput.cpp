#include "sim/SimAudioInput.h"

#include <QFile>
#include <QtEndian>
#include <cmath>

namespace murmelo::sim {

class SimAudioInput::Capture : public AudioCapture {
public:
    Capture(SimAudioInput& input, int rate) : input_(input), rate_(rate) {}
    ~Capture() override { stop(); }

    bool start(Sink sink) override {
        if (running_) return true;
        if (input_.refuseStarts > 0) {
            --input_.refuseStarts;
            return false;
        }
        dead_ = input_.deadCaptures > 0;
        if (dead_) --input_.deadCaptures;
        sink_ = std::move(sink);
        begin_ = Clock::shared().uptime();
        delivered_ = 0;
        running_ = true;
        ++input_.started_;
        schedule();
        return true;
    }

    void stop() override {
        if (!running_) return;
        deliverUntilNow();
        tick_.cancel();
        running_ = false;
        sink_ = nullptr;
    }

    bool isRunning() const override { return running_; }

private:
    void schedule() {
        tick_ = MainQueue::shared().after(input_.tickSeconds, [this] {
            if (!running_) return;
            deliverUntilNow();
            schedule();
        });
    }

    void deliverUntilNow() {
        const long long due = std::llround((Clock::shared().uptime() - begin_) * rate_);
        if (due <= delivered_) return;
        std::vector<qint16> block(size_t(due - delivered_));
        input_.fill(block.data(), block.size(), dead_);
        delivered_ = due;
        sink_(block.data(), block.size());
    }

    SimAudioInput& input_;
    int rate_;
    Sink sink_;
    TimerHandle tick_;
    double begin_ = 0;
    long long delivered_ = 0;
    bool running_ = false;
    bool dead_ = false;
};

// Delivers, on every tick of the main queue, the frames of the virtual time that passed.
class SimAudioInput::FloatCapture : public FloatAudioCapture {
public:
    FloatCapture(SimAudioInput& input, AudioSource source)
        : input_(input), source_(source),
          format_(source == AudioSource::defaultInput ? input.inputFormat : input.monitorFormat) {}
    ~FloatCapture() override { stop(); }

    const AudioFormat& format() const override { return format_; }

    bool start(Sink sink, AudioCaptureFailure* failure, QString* error) override {
        if (running_) return true;
        if (input_.refuseFloatStarts > 0) {
            --input_.refuseFloatStarts;
            if (failure) *failure = AudioCaptureFailure::refused;
            if (error) *error = QStringLiteral("stream refused");
            return false;
        }
        sink_ = std::move(sink);
        begin_ = Clock::shared().uptime();
        delivered_ = 0;
        running_ = true;
        ++input_.floatRunning_;
        schedule();
        return true;
    }

    void stop() override {
        if (!running_) return;
        deliverUntilNow();
        tick_.cancel();
        running_ = false;
        --input_.floatRunning_;
        sink_ = nullptr;
    }

    bool isRunning() const override { return running_; }

private:
    void schedule() {
        tick_ = MainQueue::shared().after(input_.tickSeconds, [this] {
            if (!running_) return;
            deliverUntilNow();
            schedule();
        });
    }

    void deliverUntilNow() {
        const long long due = std::llround((Clock::shared().uptime() - begin_) * format_.sampleRate);
        if (due <= delivered_) return;
        std::vector<float> block(size_t(due - delivered_) * size_t(format_.channels), 0.0f);
        auto& script = input_.floatScripts_[source_ == AudioSource::defaultInput ? 0 : 1];
        for (float& v : block) {
            if (script.empty()) break;
            v = script.front();
            script.pop_front();
        }
        delivered_ = due;
        sink_(block.data(), block.size());
    }

    SimAudioInput& input_;
    AudioSource source_;
    AudioFormat format_;
    Sink sink_;
    TimerHandle tick_;
    double begin_ = 0;
    long long delivered_ = 0;
    bool running_ = false;
};

void SimAudioInput::playFloat(AudioSource source, const std::vector<float>& interleaved) {
    auto& script = floatScripts_[source == AudioSource::defaultInput ? 0 : 1];
    script.insert(script.end(), interleaved.begin(), interleaved.end());
}

std::unique_ptr<FloatAudioCapture> SimAudioInput::makeFloatCapture(AudioSource source, AudioCaptureFailure* failure,
                                                                   QString* error) {
    const auto failed = [&](AudioCaptureFailure kind, const char* why) -> std::unique_ptr<FloatAudioCapture> {
        if (failure) *failure = kind;
        if (error) *error = QString::fromLatin1(why);
        return nullptr;
    };
    if (noServer) return failed(AudioCaptureFailure::noServer, "connection refused");
    if (source == AudioSource::defaultInput && !device) return failed(AudioCaptureFailure::noDevice, "no default input");
    if (source == AudioSource::defaultOutputMonitor && noOutput) return failed(AudioCaptureFailure::noDevice, "no default output");
    if (failure) *failure = AudioCaptureFailure::none;
    return std::make_unique<FloatCapture>(*this, source);
}

void SimAudioInput::play(const std::vector<qint16>& samples) { script_.insert(script_.end(), samples.begin(), samples.end()); }

void SimAudioInput::playTone(double hz, double amplitude, double seconds) {
    const long long n = std::llround(seconds * 16000);
    for (long long i = 0; i < n; ++i)
        script_.push_back(qint16(std::lround(amplitude * 32767.0 * std::sin(2 * M_PI * hz * double(i) / 16000.0))));
}

bool SimAudioInput::playWavFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray d = f.readAll();
    if (d.size() < 12 || !d.startsWith("RIFF") || d.mid(8, 4) != "WAVE") return false;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(d.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(d.constData() + at); };
    bool pcm16mono = false;
    for (qsizetype at = 12; at + 8 <= d.size();) {
        const QByteArray id = d.mid(at, 4);
        const qint64 size = u32(at + 4);
        if (size > d.size() - at - 8) return false;
        if (id == "fmt " && size >= 16) pcm16mono = u16(at + 8) == 1 && u16(at + 10) == 1 && u16(at + 22) == 16;
        if (id == "data") {
            if (!pcm16mono) return false;
            for (qint64 i = 0; i + 1 < size; i += 2) script_.push_back(qint16(u16(at + 8 + i)));
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

void SimAudioInput::changeDefaultDevice(std::optional<AudioInputDevice> next) {
    device = std::move(next);
    for (const auto& l : listeners_) MainQueue::shared().post(l);
}

int SimAudioInput::addDefaultInputListener(std::function<void()> onChange) {
    if (listenerStatus != 0) return listenerStatus;
    listeners_.push_back(std::move(onChange));
    return 0;
}

std::unique_ptr<AudioCapture> SimAudioInput::makeCapture(int sampleRate, QString* error) {
    if (failCaptures > 0) {
        --failCaptures;
        if (error) *error = captureError;
        return nullptr;
    }
    ++made_;
    return std::make_unique<Capture>(*this, sampleRate);
}

void SimAudioInput::fill(qint16* out, size_t count, bool dead) {
    for (size_t i = 0; i < count; ++i) {
        if (dead) {
            out[i] = 0;
        } else if (!script_.empty()) {
            out[i] = script_.front();
            script_.pop_front();
        } else {
            // Room noise of a few steps either way, never digital zero throughout.
            noise_ ^= noise_ << 13;
            noise_ ^= noise_ >> 17;
            noise_ ^= noise_ << 5;
            out[i] = qint16(int(noise_ % 17) - 8);
        }
    }
}

}  // namespace murmelo::sim
