#pragma once
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

// The system's default input device as the log names it.
struct AudioInputDevice {
    quint32 id = 0;
    std::optional<QString> name;  // none when the device's name cannot be read
    bool operator==(const AudioInputDevice&) const = default;
};

// One capture of the default input: 16-bit signed mono samples at the rate it was made for.
class AudioCapture {
public:
    // Receives samples in capture order, on whatever thread the backend delivers them.
    using Sink = std::function<void(const qint16* samples, size_t count)>;

    virtual ~AudioCapture() = default;
    // Begins delivering samples; false when the input refused to start.
    virtual bool start(Sink sink) = 0;
    // Ends the capture. When it returns, every sample already captured has reached the sink
    // and no further call to it will come. Never call it from inside the sink.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// The shape of the float samples a source delivers: its own rate and channel count, never
// resampled by the sound server, so that peaks and clipping are the source's own. Samples
// always come interleaved by channel.
struct AudioFormat {
    double sampleRate = 0;
    int channels = 0;
    bool operator==(const AudioFormat&) const = default;
    // "48000 Гц, 2 кан."
    QString description() const;
};

// Where a float capture listens.
enum class AudioSource {
    defaultInput,          // the microphone
    defaultOutputMonitor,  // everything the default output plays
};

// Why a float capture could not be made or started.
enum class AudioCaptureFailure {
    none,
    noServer,  // no sound server answers
    noDevice,  // there is no default device of the kind asked for, or its format is unreadable
    refused,   // the server would not make or start the stream
};

// One capture of a source in its own format.
class FloatAudioCapture {
public:
    // Samples (not frames) in capture order, on whatever thread the backend delivers them.
    using Sink = std::function<void(const float* samples, size_t count)>;

    virtual ~FloatAudioCapture() = default;
    virtual const AudioFormat& format() const = 0;
    // Begins delivering samples; false, with the failure and a description, when the source
    // refused to start.
    virtual bool start(Sink sink, AudioCaptureFailure* failure, QString* error) = 0;
    // As AudioCapture::stop: once it returns, no further call to the sink comes.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// A stream the sound server is playing now, as the program that plays it names itself.
struct PlayingStream {
    qint64 pid = 0;
    QString name;    // the program's own name for itself
    QString binary;  // the executable's file name
    bool operator==(const PlayingStream&) const = default;
};

// The microphone: which device is the default input, news when that changes, and captures.
// A route that delivers only digital silence (or nothing at all) is how a dead input shows.
class AudioInput {
public:
    virtual ~AudioInput() = default;

    // None when there is no default input device or it cannot be read.
    virtual std::optional<AudioInputDevice> defaultInputDevice() = 0;
    // Calls onChange on the main queue after each change of the default input device, for
    // the life of the process. 0 when the subscription holds, else a non-zero status code.
    virtual int addDefaultInputListener(std::function<void()> onChange) = 0;
    // A capture of the default input in mono at the given rate, not yet started; none, with
    // a description in error, when it cannot be made.
    virtual std::unique_ptr<AudioCapture> makeCapture(int sampleRate, QString* error) = 0;
    // The streams playing right now, in the server's order; a paused (corked) stream is not
    // playing. Empty when the server cannot be asked. Any thread.
    virtual std::vector<PlayingStream> playingStreams() = 0;
    // A capture of the source in its own format (20 ms fragments), not yet started; none, with
    // the failure and a description, when it cannot be made.
    virtual std::unique_ptr<FloatAudioCapture> makeFloatCapture(AudioSource source, AudioCaptureFailure* failure,
                                                                QString* error) = 0;
    // The default input's volume, 1.0 being full; none when there is no input or it is unreadable.
    virtual std::optional<double> defaultInputVolume() = 0;

    static AudioInput& shared();
    static void install(AudioInput* input);
};

}  // namespace murmelo
