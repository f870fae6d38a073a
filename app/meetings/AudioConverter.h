#pragma once
#include "platform/AudioInput.h"

#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

struct soxr;

namespace murmelo {

// Turns float audio of any rate and channel count into the meeting files' format: the
// channels averaged into one (so that a signal on one side only is kept, at half level),
// resampled to 16 kHz, 16-bit. It keeps the resampler's state across calls, so that blocks
// join without a seam; flush() hands over what is still inside at the end of the stream.
class AudioConverter {
public:
    static constexpr double TARGET_RATE = 16000.0;

    // None, with a description, when the format cannot be converted.
    static std::unique_ptr<AudioConverter> create(const AudioFormat& input, QString* error);
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Appends the converted frames to out; false, with a description, when the resampler failed.
    bool convert(const float* interleaved, size_t frames, std::vector<qint16>& out, QString* error);
    bool flush(std::vector<qint16>& out, QString* error);

private:
    explicit AudioConverter(const AudioFormat& input);
    bool resample(const float* mono, size_t frames, std::vector<qint16>& out, QString* error);

    AudioFormat input_;
    soxr* resampler_ = nullptr;  // none when the rate is already the target
    std::vector<float> mono_;
    std::vector<float> resampled_;
};

}  // namespace murmelo
