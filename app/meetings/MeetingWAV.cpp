#include "meetings/MeetingWAV.h"

#include "base/Log.h"
#include "dictation/WavWriter.h"
#include "platform/MainQueue.h"

#include <QFileInfo>
#include <cmath>
#include <cstdlib>

namespace murmelo {

std::unique_ptr<MeetingWAV> MeetingWAV::create(const QString& path, int sampleRate, int channels, MeetingError* error) {
    QString why;
    auto writer = WavWriter::create(path, sampleRate, &why, channels);
    if (!writer) {
        if (error) *error = {QStringLiteral("MeetingWAV"), 1, QStringLiteral("не открыть на запись: ") + path};
        return nullptr;
    }
    return std::unique_ptr<MeetingWAV>(new MeetingWAV(std::move(writer), path, sampleRate, channels));
}

MeetingWAV::MeetingWAV(std::unique_ptr<WavWriter> writer, QString path, int sampleRate, int channels)
    : writer_(std::move(writer)), path_(std::move(path)), sampleRate_(sampleRate), channels_(channels) {}

MeetingWAV::~MeetingWAV() { close(); }

void MeetingWAV::append(const qint16* samples, size_t count) {
    if (closed_ || count == 0) return;
    const int blockLength = sampleRate_ * ENVELOPE_MS / 1000;
    {
        // One pass: clipping, the peak and the envelope together.
        std::lock_guard lock(measuresLock_);
        int blockPeak = 0;
        for (size_t i = 0; i < count; ++i) {
            const int s = samples[i];
            const int m = std::abs(s);
            if (m >= 32767) ++clipped_;
            if (m > blockPeak) blockPeak = m;
            const double x = double(s) / 32768.0;
            blockSum_ += x * x;
            if (++blockCount_ >= blockLength && blockLength > 0) {
                envelope_.push_back(float(std::sqrt(blockSum_ / blockCount_)));
                blockSum_ = 0;
                blockCount_ = 0;
            }
        }
        total_ += qint64(count);
        const float peak = float(blockPeak) / 32768.0f;
        runningPeak_ = std::max(runningPeak_, peak);
        maxPeak_ = std::max(maxPeak_, peak);
    }
    writer_->append(samples, count);
    if (writer_->writeFailed() && !failureLogged_) {
        // From here on the file keeps what it had; the header never claims the rest.
        failureLogged_ = true;
        logLine(QStringLiteral("⚠ встреча: запись в ") + QFileInfo(path_).fileName() + QStringLiteral(" не удалась - ") +
                writer_->writeError() + QStringLiteral("; дальнейший звук канала потерян"));
    }
    {
        std::lock_guard lock(measuresLock_);
        frames_ = writer_->dataBytes() / 2 / std::max(channels_, 1);
    }
    const double now = Clock::shared().uptime();
    if (!headerWrittenAt_ || now - *headerWrittenAt_ >= HEADER_REFRESH) refreshHeader();
}

void MeetingWAV::refreshHeader() {
    if (closed_) return;
    writer_->refreshHeader();
    headerWrittenAt_ = Clock::shared().uptime();
}

void MeetingWAV::close() {
    if (closed_) return;
    closed_ = true;
    writer_->finish();
}

float MeetingWAV::peakSinceLastRead() {
    std::lock_guard lock(measuresLock_);
    const float p = runningPeak_;
    runningPeak_ = 0;
    return p;
}

float MeetingWAV::maxPeak() const {
    std::lock_guard lock(measuresLock_);
    return maxPeak_;
}

double MeetingWAV::seconds() const {
    std::lock_guard lock(measuresLock_);
    return sampleRate_ > 0 ? double(frames_) / sampleRate_ : 0.0;
}

double MeetingWAV::clipRatio() const {
    std::lock_guard lock(measuresLock_);
    return total_ > 0 ? double(clipped_) / double(total_) : 0.0;
}

std::vector<float> MeetingWAV::envelope() const {
    std::lock_guard lock(measuresLock_);
    return envelope_;
}

qint64 MeetingWAV::frames() const {
    std::lock_guard lock(measuresLock_);
    return frames_;
}

}  // namespace murmelo
