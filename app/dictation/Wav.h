#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace murmelo {

// How often, and for how long at most, a stopped recording is checked for its final header.
inline constexpr double WAV_READY_STEP = 0.01;
inline constexpr double WAV_READY_TIMEOUT = 0.3;

// A byte range [start, end) inside a file held in memory.
struct WavRange {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype size() const { return end - start; }
    bool operator==(const WavRange&) const = default;
};

struct AudioLevels {
    float peak = 0;
    float mean = 0;  // mean absolute sample value, not a root mean square
    bool operator==(const AudioLevels&) const = default;
};

// The canonical 44-byte header for dataBytes of samples; the caller appends the samples.
// Sizes must fit the header's fields.
QByteArray wavHeader(qint64 dataBytes, qint64 sampleRate = 16000, int channels = 1, int bits = 16);

// Where the samples of a 16-bit PCM WAV lie; none unless every chunk is intact.
std::optional<WavRange> wavPCM16PayloadRange(const QByteArray& data);

AudioLevels audioLevels(const QByteArray& data);
float audioPeak(const QByteArray& data);

// A copy that keeps only the first seconds of audio; none when there is nothing worth cutting.
std::optional<QByteArray> trimWavToSeconds(const QByteArray& data, double seconds);

// Whether the file on disk has its final header: its data chunk runs exactly to the end.
bool wavIsComplete(const QString& path);

// Calls then once on the main thread, as soon as the file is complete or after at most
// WAV_READY_TIMEOUT. Call it on the main thread; a file complete already is handed on before
// this returns.
void whenWavReady(const QString& path, std::function<void()> then);

}  // namespace murmelo
