#pragma once
#include "meetings/MeetingError.h"
#include "platform/AudioInput.h"

#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// What the desktop plays, for the far side of a call: a capture of the default output's
// monitor in its own format. The monitor carries every program's sound, not the call's alone.
// One object serves every recording; start and stop run on the main thread.
class SystemAudioTap {
public:
    // Float samples interleaved by channel and their count (samples, not frames), on the
    // sound server's thread: it must not block.
    using OnAudio = std::function<void(const float* samples, size_t count)>;

    ~SystemAudioTap() { stop(); }

    // False, with an error of the domain "SystemAudioTap", when a step failed.
    bool start(OnAudio onAudio, MeetingError* error);
    // Releases whatever the last start made; safe when nothing was.
    void stop();
    // The monitor's format from the last start that read it; kept after stop.
    const std::optional<AudioFormat>& format() const { return format_; }

private:
    std::unique_ptr<FloatAudioCapture> capture_;
    std::optional<AudioFormat> format_;
};

}  // namespace murmelo
