#pragma once
#include "meetings/AudioConverter.h"
#include "meetings/FloatRing.h"
#include "meetings/MeetingError.h"
#include "meetings/MeetingWAV.h"
#include "platform/AudioInput.h"
#include "platform/MainQueue.h"

#include <QString>
#include <atomic>
#include <memory>

namespace murmelo {

class SerialQueue;

// One live source of a meeting ("микрофон" or "система") into one 16 kHz mono WAV. The
// source's thread pushes float samples into the ring and returns at once; every DRAIN_PERIOD
// the channel's own queue converts what gathered and appends it to the file.
class MeetingChannel : public std::enable_shared_from_this<MeetingChannel> {
public:
    static constexpr double CLIP_ALARM_RATIO = 0.005;
    static constexpr double CLIP_ALARM_AFTER = 10.0;
    static constexpr double DRAIN_PERIOD = 0.5;

    // None, with the error, when the format cannot be converted ("MeetingChannel", 1) or the
    // file cannot be made (the writer's error).
    static std::shared_ptr<MeetingChannel> create(const QString& name, const QString& path, const AudioFormat& inputFormat,
                                                  MeetingError* error);
    ~MeetingChannel();

    // Starts the drain timer (main thread).
    void start();
    // Any thread; samples interleaved by channel.
    void push(const float* interleaved, size_t frames);
    // Stops the timer, writes what is left, closes the file and returns its seconds. Call it
    // after the source stopped; it waits for the channel's queue.
    double finish();
    void drainOnce();

    const QString& name() const { return name_; }
    const AudioFormat& inputFormat() const { return inputFormat_; }
    qint64 ringCapacity() const { return ring_.capacity(); }
    float rawPeak() const { return rawPeak_.load(std::memory_order_relaxed); }
    float peak() { return writer_->peakSinceLastRead(); }
    bool everHadSignal() const { return writer_->maxPeak() > 0; }
    const MeetingWAV& writer() const { return *writer_; }

    // The default input's volume in percent, or -1.
    static int inputVolumePercent();
    // The queue that drains every channel of this name, for the life of the process.
    static SerialQueue& queueNamed(const QString& name);

private:
    MeetingChannel(QString name, const AudioFormat& inputFormat, std::unique_ptr<AudioConverter> converter,
                   std::unique_ptr<MeetingWAV> writer);
    // On the channel queue: converts what the ring holds (and at the end the resampler's tail).
    void drainBlock(bool endOfStream);
    void checkClipping();
    void scheduleDrain();

    QString name_;
    AudioFormat inputFormat_;
    std::unique_ptr<AudioConverter> converter_;
    std::unique_ptr<MeetingWAV> writer_;
    FloatRing ring_;
    SerialQueue& queue_;
    TimerHandle timer_;
    std::atomic<float> rawPeak_{0};
    bool clipWarned_ = false;
    bool finished_ = false;
    // Reused by every drain, on the channel's queue only.
    std::vector<float> taken_;
    std::vector<qint16> converted_;
};

}  // namespace murmelo
