#pragma once
#include "platform/AudioInput.h"

#include <QByteArray>
#include <vector>

#include <pulse/channelmap.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

struct pa_context;
struct pa_threaded_mainloop;

namespace murmelo::linuxdesktop {

// The microphone through PulseAudio: the server's default source is the default input
// device (its index the identifier, its description the name), captures record from it in
// 20 ms fragments, and a change of the default source reaches the listeners through a
// subscription to the server's news. One connection on PulseAudio's own thread, made on
// first use and made again after the server went away.
class PulseAudioInput : public AudioInput {
public:
    PulseAudioInput();
    ~PulseAudioInput() override;

    std::optional<AudioInputDevice> defaultInputDevice() override;
    int addDefaultInputListener(std::function<void()> onChange) override;
    std::unique_ptr<AudioCapture> makeCapture(int sampleRate, QString* error) override;
    // The server's sink inputs that are not corked, with the properties their clients set.
    std::vector<PlayingStream> playingStreams() override;
    std::unique_ptr<FloatAudioCapture> makeFloatCapture(AudioSource source, AudioCaptureFailure* failure,
                                                        QString* error) override;
    std::optional<double> defaultInputVolume() override;

    // Connected to a server now, or after trying once more.
    bool connect();

private:
    class Capture;
    class FloatCapture;
    friend class Capture;
    friend class FloatCapture;

    struct SourceInfo {
        QByteArray name;
        pa_sample_spec spec{};
        pa_channel_map map{};
        double volume = 0;
    };

    // With the loop locked: a ready context, connecting when needed; 0 or a PulseAudio error.
    int readyContextLocked();
    // With the loop locked: waits for a flag set by a callback, at most the given seconds.
    bool waitLocked(const bool& done, double seconds);
    bool subscribeLocked();
    // With the loop locked: what the server knows of a source (special names resolve).
    bool sourceInfoLocked(const char* name, SourceInfo* out);
    // With the loop locked: a record stream connected and ready, 20 ms fragments; none, with
    // PulseAudio's error code, when the server refused it or did not answer in time.
    pa_stream* openRecordStreamLocked(const char* name, const pa_sample_spec& spec, const pa_channel_map* map,
                                      const char* device, pa_stream_request_cb_t onRead, void* self,
                                      int* error = nullptr);
    void noteServerChange();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool subscribed_ = false;
    QByteArray lastDefaultSource_;
    std::vector<std::function<void()>> listeners_;
};

}  // namespace murmelo::linuxdesktop
