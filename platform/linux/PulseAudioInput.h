#pragma once
#include "platform/AudioInput.h"

#include <QByteArray>
#include <vector>

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

    // Connected to a server now, or after trying once more.
    bool connect();

private:
    class Capture;
    friend class Capture;

    // With the loop locked: a ready context, connecting when needed; 0 or a PulseAudio error.
    int readyContextLocked();
    // With the loop locked: waits for a flag set by a callback, at most the given seconds.
    bool waitLocked(const bool& done, double seconds);
    bool subscribeLocked();
    void noteServerChange();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool subscribed_ = false;
    QByteArray lastDefaultSource_;
    std::vector<std::function<void()>> listeners_;
};

}  // namespace murmelo::linuxdesktop
