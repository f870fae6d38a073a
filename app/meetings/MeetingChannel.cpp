#include "meetings/MeetingChannel.h"

#include "base/Format.h"
#include "base/Log.h"
#include "base/SerialQueue.h"

#include <QHash>
#include <cmath>
#include <future>
#include <mutex>

namespace murmelo {
namespace {

// Eight seconds of input, never fewer than 4096 samples.
qint64 ringCapacityFor(const AudioFormat& f) {
    return std::max<qint64>(4096, qint64(f.sampleRate * 8) * qint64(std::max(f.channels, 1)));
}

}  // namespace

SerialQueue& MeetingChannel::queueNamed(const QString& name) {
    static std::mutex lock;
    static QHash<QString, SerialQueue*> queues;
    std::lock_guard guard(lock);
    SerialQueue*& q = queues[name];
    if (!q) q = new SerialQueue;  // lives as long as the process, as its worker does
    return *q;
}

std::shared_ptr<MeetingChannel> MeetingChannel::create(const QString& name, const QString& path,
                                                       const AudioFormat& inputFormat, MeetingError* error) {
    auto converter = AudioConverter::create(inputFormat, nullptr);
    if (!converter) {
        if (error) *error = {QStringLiteral("MeetingChannel"), 1, QStringLiteral("не собрать конвертер из ") + inputFormat.description()};
        return nullptr;
    }
    auto writer = MeetingWAV::create(path, int(AudioConverter::TARGET_RATE), 1, error);
    if (!writer) return nullptr;
    return std::shared_ptr<MeetingChannel>(new MeetingChannel(name, inputFormat, std::move(converter), std::move(writer)));
}

MeetingChannel::MeetingChannel(QString name, const AudioFormat& inputFormat, std::unique_ptr<AudioConverter> converter,
                               std::unique_ptr<MeetingWAV> writer)
    : name_(std::move(name)), inputFormat_(inputFormat), converter_(std::move(converter)), writer_(std::move(writer)),
      ring_(ringCapacityFor(inputFormat)), queue_(queueNamed(name_)) {}

MeetingChannel::~MeetingChannel() { timer_.cancel(); }

void MeetingChannel::start() { scheduleDrain(); }

void MeetingChannel::scheduleDrain() {
    std::weak_ptr<MeetingChannel> weak = weak_from_this();
    timer_ = MainQueue::shared().after(DRAIN_PERIOD, [weak] {
        auto self = weak.lock();
        if (!self || self->finished_) return;
        self->queue_.async([self] { self->drainOnce(); });
        self->scheduleDrain();
    });
}

void MeetingChannel::push(const float* interleaved, size_t frames) {
    const size_t n = frames * size_t(std::max(inputFormat_.channels, 1));
    float peak = 0;
    for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(interleaved[i]));
    float seen = rawPeak_.load(std::memory_order_relaxed);
    while (peak > seen && !rawPeak_.compare_exchange_weak(seen, peak, std::memory_order_relaxed)) {
    }
    if (n == 0) return;
    ring_.push(interleaved, n);
}

void MeetingChannel::drainOnce() { drainBlock(false); }

void MeetingChannel::drainBlock(bool endOfStream) {
    ring_.takeAll(taken_);
    const size_t c = size_t(std::max(inputFormat_.channels, 1));
    // A partial frame cannot be placed in time; it is let go.
    const size_t frames = taken_.size() / c;
    converted_.clear();
    QString error;
    bool ok = converter_->convert(taken_.data(), frames, converted_, &error);
    if (ok && endOfStream) ok = converter_->flush(converted_, &error);
    if (!ok) {
        logLine(QStringLiteral("встреча/") + name_ + QStringLiteral(": конвертер отказал - ") + error);
        return;
    }
    if (converted_.empty()) return;
    writer_->append(converted_);
    checkClipping();
}

void MeetingChannel::checkClipping() {
    if (clipWarned_ || writer_->seconds() < CLIP_ALARM_AFTER) return;
    const double ratio = writer_->clipRatio();
    if (ratio < CLIP_ALARM_RATIO) return;
    clipWarned_ = true;
    logLine(formatSpec(QStringLiteral("⚠ ВСТРЕЧА/%@: перегруз, %.2f%% сэмплов срезано - распознавание пострадает. Убавь колонки "
                                      "или надень наушники; громкость входа сейчас %.0f%%"),
                       {name_, ratio * 100.0, double(inputVolumePercent())}));
}

double MeetingChannel::finish() {
    if (finished_) return writer_->seconds();
    finished_ = true;
    timer_.cancel();
    timer_.reset();
    // After any drain already queued, and with the resampler's tail, so nothing is left behind.
    std::promise<void> done;
    queue_.async([this, &done] {
        drainBlock(true);
        done.set_value();
    });
    done.get_future().wait();
    writer_->close();
    const qint64 dropped = ring_.dropped();
    if (dropped > 0)
        logLine(QStringLiteral("⚠ встреча/") + name_ + QStringLiteral(": потеряно ") +
                QString::number(dropped / std::max(inputFormat_.channels, 1)) + QStringLiteral(" кадров - ") +
                QStringLiteral("поток записи не успевал за захватом"));
    return writer_->seconds();
}

int MeetingChannel::inputVolumePercent() {
    const auto v = AudioInput::shared().defaultInputVolume();
    return v ? int(std::lround(*v * 100.0)) : -1;
}

}  // namespace murmelo
