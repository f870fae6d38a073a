#include "meetings/AudioConverter.h"

#include <cmath>
#include <soxr.h>

namespace murmelo {
namespace {

qint16 toPCM16(float v) {
    const long s = std::lrint(double(v) * 32768.0);
    return qint16(std::clamp(s, -32768L, 32767L));
}

void appendPCM16(const float* samples, size_t count, std::vector<qint16>& out) {
    const size_t at = out.size();
    out.resize(at + count);
    for (size_t i = 0; i < count; ++i) out[at + i] = toPCM16(samples[i]);
}

}  // namespace

std::unique_ptr<AudioConverter> AudioConverter::create(const AudioFormat& input, QString* error) {
    if (!(input.sampleRate > 0) || input.channels < 1 || !std::isfinite(input.sampleRate)) {
        if (error) *error = QStringLiteral("unusable format");
        return nullptr;
    }
    std::unique_ptr<AudioConverter> c(new AudioConverter(input));
    if (input.sampleRate != TARGET_RATE) {
        soxr_error_t e = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        c->resampler_ = soxr_create(input.sampleRate, TARGET_RATE, 1, &e, &io, &quality, nullptr);
        if (!c->resampler_) {
            if (error) *error = QString::fromUtf8(e ? e : "resampler refused");
            return nullptr;
        }
    }
    return c;
}

AudioConverter::AudioConverter(const AudioFormat& input) : input_(input) {}

AudioConverter::~AudioConverter() {
    if (resampler_) soxr_delete(resampler_);
}

bool AudioConverter::convert(const float* interleaved, size_t frames, std::vector<qint16>& out, QString* error) {
    if (frames == 0) return true;
    const int c = input_.channels;
    const float* mono = interleaved;
    if (c > 1) {
        mono_.resize(frames);
        for (size_t j = 0; j < frames; ++j) {
            float sum = 0;
            for (int i = 0; i < c; ++i) sum += interleaved[j * size_t(c) + size_t(i)];
            mono_[j] = sum / float(c);
        }
        mono = mono_.data();
    }
    return resample(mono, frames, out, error);
}

bool AudioConverter::resample(const float* mono, size_t frames, std::vector<qint16>& out, QString* error) {
    if (!resampler_) {
        if (mono) appendPCM16(mono, frames, out);
        return true;
    }
    // A null input with no frames tells the resampler the stream ended: it gives up its tail.
    const size_t room = size_t(double(frames) * TARGET_RATE / input_.sampleRate) + 1024;
    resampled_.resize(room);
    size_t offered = 0;
    for (;;) {
        size_t taken = 0;
        size_t made = 0;
        const soxr_error_t e = soxr_process(resampler_, mono ? mono + offered : nullptr, mono ? frames - offered : 0, &taken,
                                            resampled_.data(), room, &made);
        if (e) {
            if (error) *error = QString::fromUtf8(e);
            return false;
        }
        appendPCM16(resampled_.data(), made, out);
        offered += taken;
        if (mono ? offered >= frames && made < room : made == 0) return true;
    }
}

bool AudioConverter::flush(std::vector<qint16>& out, QString* error) { return resample(nullptr, 0, out, error); }

}  // namespace murmelo
