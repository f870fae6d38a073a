#include "dictation/AudioRecorder.h"

#include <cmath>

namespace murmelo {

std::unique_ptr<AudioRecorder> AudioRecorder::make(const QString& path, QString* error) {
    auto capture = AudioInput::shared().makeCapture(SAMPLE_RATE, error);
    if (!capture) return nullptr;
    auto writer = WavWriter::create(path, SAMPLE_RATE, error);
    if (!writer) return nullptr;
    return std::unique_ptr<AudioRecorder>(new AudioRecorder(path, std::move(capture), std::move(writer)));
}

AudioRecorder::AudioRecorder(QString path, std::unique_ptr<AudioCapture> capture, std::unique_ptr<WavWriter> writer)
    : path_(std::move(path)), capture_(std::move(capture)), writer_(std::move(writer)) {}

AudioRecorder::~AudioRecorder() {
    // A recorder dropped while running still leaves a readable file behind.
    if (recording_) stop();
}

bool AudioRecorder::record() {
    if (stopped_) return false;
    if (recording_) return true;
    recording_ = capture_->start([this](const qint16* samples, size_t count) { take(samples, count); });
    return recording_;
}

void AudioRecorder::take(const qint16* samples, size_t count) {
    std::lock_guard lock(mutex_);
    if (writer_) writer_->append(samples, count);
    for (size_t i = 0; i < count; ++i) sumSquares_ += double(samples[i]) * double(samples[i]);
    metered_ += qint64(count);
}

void AudioRecorder::stop() {
    if (stopped_) return;
    stopped_ = true;
    if (recording_) capture_->stop();
    recording_ = false;
    std::lock_guard lock(mutex_);
    if (writer_) writer_->finish();
    writer_.reset();
}

bool AudioRecorder::isRecording() const { return recording_; }

void AudioRecorder::updateMeters() {
    std::lock_guard lock(mutex_);
    if (metered_ == 0) return;
    const double meanSquare = sumSquares_ / double(metered_) / (32768.0 * 32768.0);
    power_ = meanSquare > 0 ? std::max(SILENT_POWER_DB, float(10.0 * std::log10(meanSquare))) : SILENT_POWER_DB;
    power_ = std::min(power_, 0.0f);
    sumSquares_ = 0;
    metered_ = 0;
}

float AudioRecorder::averagePower(int) const { return power_; }

}  // namespace murmelo
