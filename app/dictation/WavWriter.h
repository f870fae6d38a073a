#pragma once
#include <QString>
#include <memory>

namespace murmelo {

// Writes a 16-bit PCM WAV file as samples arrive. The file is created new and owner-only
// (an existing name, a planted link included, is refused, never reused), starts with a
// provisional header whose data size is 0, so that readers see it as unfinished, and gets
// its final header in finish(); refreshHeader() may bring the header up to date between
// (every write is positioned, so the append position never moves). Only a "fmt " and a
// "data" chunk are written. Not thread-safe: the caller serialises.
class WavWriter {
public:
    // None, with the reason in error, when the file cannot be created.
    static std::unique_ptr<WavWriter> create(const QString& path, int sampleRate, QString* error, int channels = 1);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends samples (interleaved when there are several channels); samples beyond what the
    // header's 32-bit sizes can describe, and everything after a failed write, are dropped
    // (the file stays well-formed).
    void append(const qint16* samples, size_t count);
    // Rewrites the header for the samples written so far; false when that failed.
    bool refreshHeader();
    // Writes the final header and closes the file; false when that failed. Once only.
    bool finish();

    qint64 dataBytes() const { return dataBytes_; }
    bool writeFailed() const { return failed_; }
    // Why the first failed write failed; empty while none has.
    const QString& writeError() const { return writeError_; }
    const QString& path() const { return path_; }

private:
    WavWriter(int fd, QString path, int sampleRate, int channels);
    bool writeHeader(qint64 dataBytes);

    int fd_;
    QString path_;
    int sampleRate_;
    int channels_;
    qint64 dataBytes_ = 0;
    bool failed_ = false;
    QString writeError_;
};

}  // namespace murmelo
