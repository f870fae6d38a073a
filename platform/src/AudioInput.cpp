#include "platform/AudioInput.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed there is no microphone.
class NoAudioInput : public AudioInput {
public:
    std::optional<AudioInputDevice> defaultInputDevice() override { return std::nullopt; }
    int addDefaultInputListener(std::function<void()>) override { return -1; }
    std::unique_ptr<AudioCapture> makeCapture(int, QString* error) override {
        if (error) *error = QStringLiteral("no audio input backend");
        return nullptr;
    }
    std::vector<PlayingStream> playingStreams() override { return {}; }
    std::unique_ptr<FloatAudioCapture> makeFloatCapture(AudioSource, AudioCaptureFailure* failure, QString* error) override {
        if (failure) *failure = AudioCaptureFailure::noServer;
        if (error) *error = QStringLiteral("no audio input backend");
        return nullptr;
    }
    std::optional<double> defaultInputVolume() override { return std::nullopt; }
};

}  // namespace

QString AudioFormat::description() const {
    return QString::number(qRound64(sampleRate)) + QStringLiteral(" Гц, ") + QString::number(channels) +
           QStringLiteral(" кан.");
}

AudioInput& AudioInput::shared() {
    if (auto* a = installedService<AudioInput>()) return *a;
    static NoAudioInput none;
    return none;
}

void AudioInput::install(AudioInput* input) { installService<AudioInput>(input); }

}  // namespace murmelo
