#include "meetings/SystemAudioTap.h"

#include "base/Log.h"

#include <cmath>

namespace murmelo {
namespace {

MeetingError tapError(AudioCaptureFailure failure, bool starting, const QString& why) {
    // The sound server's failures in the order a tap is brought up: reaching the server, the
    // output's monitor and its format, the stream, its start.
    QString step;
    switch (failure) {
    case AudioCaptureFailure::noServer:
        step = QStringLiteral("не создать process tap");
        break;
    case AudioCaptureFailure::noDevice:
        step = QStringLiteral("не узнать формат tap'а");
        break;
    case AudioCaptureFailure::refused:
    case AudioCaptureFailure::none:
        step = starting ? QStringLiteral("не запустить агрегатное устройство") : QStringLiteral("не создать IOProc");
        break;
    }
    return {QStringLiteral("SystemAudioTap"), int(failure), step + QStringLiteral(" (") + why + QStringLiteral(")")};
}

}  // namespace

bool SystemAudioTap::start(OnAudio onAudio, MeetingError* error) {
    // A start over a running tap would leave the old stream feeding nobody.
    stop();
    AudioCaptureFailure failure = AudioCaptureFailure::none;
    QString why;
    capture_ = AudioInput::shared().makeFloatCapture(AudioSource::defaultOutputMonitor, &failure, &why);
    if (!capture_) {
        if (error) *error = tapError(failure == AudioCaptureFailure::none ? AudioCaptureFailure::refused : failure, false, why);
        return false;
    }
    format_ = capture_->format();
    auto sink = [onAudio = std::move(onAudio)](const float* samples, size_t count) {
        if (samples && count > 0) onAudio(samples, count);
    };
    if (!capture_->start(std::move(sink), &failure, &why)) {
        if (error) *error = tapError(failure == AudioCaptureFailure::none ? AudioCaptureFailure::refused : failure, true, why);
        capture_.reset();
        return false;
    }
    logLine(QStringLiteral("встреча/система: tap поднят, ") + QString::number(std::llround(format_->sampleRate)) +
            QStringLiteral(" Гц, ") + QString::number(format_->channels) + QStringLiteral(" кан."));
    return true;
}

void SystemAudioTap::stop() {
    if (!capture_) return;
    capture_->stop();
    capture_.reset();
}

}  // namespace murmelo
