#pragma once
#include "meetings/MeetingError.h"

#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace murmelo {

class WavWriter;

// One meeting channel streamed to disk as 16-bit PCM while the meeting goes on, so that a
// recording cut short by a crash is still a playable file: the header is brought up to date
// at most every HEADER_REFRESH seconds and at close. Beside the file it keeps the measures
// the recorder watches (peaks, clipping, a 100 ms RMS envelope). Appends come from one
// thread at a time; the measures may be read from any thread.
class MeetingWAV {
public:
    static constexpr double HEADER_REFRESH = 2.0;
    static constexpr int ENVELOPE_MS = 100;

    // Creates the file (owner-only, never over an existing name) with the header of an empty
    // recording; none, with the "MeetingWAV" error, when it cannot be opened.
    static std::unique_ptr<MeetingWAV> create(const QString& path, int sampleRate, int channels, MeetingError* error);
    ~MeetingWAV();
    MeetingWAV(const MeetingWAV&) = delete;
    MeetingWAV& operator=(const MeetingWAV&) = delete;

    // Samples interleaved by channel. Nothing happens after close().
    void append(const qint16* samples, size_t count);
    void append(const std::vector<qint16>& samples) { append(samples.data(), samples.size()); }
    void refreshHeader();
    // Refreshes the header and closes the file.
    void close();

    // The peak since the last call, then 0.
    float peakSinceLastRead();
    float maxPeak() const;
    // Seconds of audio actually in the file.
    double seconds() const;
    double clipRatio() const;
    std::vector<float> envelope() const;
    qint64 frames() const;
    const QString& path() const { return path_; }

private:
    MeetingWAV(std::unique_ptr<WavWriter> writer, QString path, int sampleRate, int channels);

    std::unique_ptr<WavWriter> writer_;
    QString path_;
    int sampleRate_;
    int channels_;
    std::optional<double> headerWrittenAt_;  // none: never, so the first append refreshes
    bool failureLogged_ = false;
    bool closed_ = false;

    // The measures, read by the main thread while the channel's queue appends.
    mutable std::mutex measuresLock_;
    qint64 frames_ = 0;
    float runningPeak_ = 0;
    float maxPeak_ = 0;
    qint64 clipped_ = 0;
    qint64 total_ = 0;
    std::vector<float> envelope_;
    double blockSum_ = 0;
    int blockCount_ = 0;
};

}  // namespace murmelo
