#pragma once
#include "platform/AudioInput.h"
#include "platform/MainQueue.h"

#include <deque>
#include <vector>

namespace murmelo::sim {

// A microphone run by the test, in virtual time: a running capture receives the samples of
// the time that passed on the clock, in ticks of the main queue, so a 3 s take costs three
// seconds of advance() and no sleeping. What it plays is a script of samples (WAV files,
// tones, digital silence) consumed by running captures in order; once the script is used
// up the microphone hears faint room noise, as a real one does.
class SimAudioInput : public AudioInput {
public:
    // The default input device; none: the machine has no input device.
    std::optional<AudioInputDevice> device = AudioInputDevice{73, QStringLiteral("Встроенный микрофон")};
    int listenerStatus = 0;                // non-zero: the subscription fails with this code
    int failCaptures = 0;                  // the next this many makeCapture calls fail ...
    QString captureError = QStringLiteral("input unavailable");  // ... with this description
    int refuseStarts = 0;                  // the next this many starts answer false
    int deadCaptures = 0;                  // the next this many started captures hear digital zero
    double tickSeconds = 0.02;             // how often a running capture delivers
    std::vector<PlayingStream> streams;    // what the sound server plays now, in its order

    // Float sources, each in its own format: the microphone's and the default output's
    // monitor. Their scripts are interleaved samples; once used up they deliver digital zero.
    AudioFormat inputFormat{48000, 1};
    AudioFormat monitorFormat{48000, 2};
    std::optional<double> inputVolume = 0.8;  // the default input's volume; none: unreadable
    bool noServer = false;                    // float captures fail as with no sound server
    bool noOutput = false;                    // there is no default output, so no monitor
    int refuseFloatStarts = 0;                // the next this many float starts fail
    void playFloat(AudioSource source, const std::vector<float>& interleaved);
    int floatCapturesRunning() const { return floatRunning_; }

    void play(const std::vector<qint16>& samples);
    // A sine tone; amplitude is a share of full scale.
    void playTone(double hz, double amplitude, double seconds);
    // The samples of a 16-bit PCM mono WAV file; false (and nothing queued) otherwise.
    bool playWavFile(const QString& path);

    // Makes another device the default input and tells the listeners on the main queue.
    void changeDefaultDevice(std::optional<AudioInputDevice> next);

    int capturesMade() const { return made_; }
    int capturesStarted() const { return started_; }
    int listeners() const { return int(listeners_.size()); }

    // AudioInput
    std::optional<AudioInputDevice> defaultInputDevice() override { return device; }
    int addDefaultInputListener(std::function<void()> onChange) override;
    std::unique_ptr<AudioCapture> makeCapture(int sampleRate, QString* error) override;
    std::vector<PlayingStream> playingStreams() override { return streams; }
    std::unique_ptr<FloatAudioCapture> makeFloatCapture(AudioSource source, AudioCaptureFailure* failure,
                                                        QString* error) override;
    std::optional<double> defaultInputVolume() override { return inputVolume; }

private:
    class Capture;
    class FloatCapture;
    void fill(qint16* out, size_t count, bool dead);

    std::deque<qint16> script_;
    std::deque<float> floatScripts_[2];
    int floatRunning_ = 0;
    std::vector<std::function<void()>> listeners_;
    quint32 noise_ = 0x2545F491u;
    int made_ = 0;
    int started_ = 0;
};

}  // namespace murmelo::sim
