#pragma once
#include "dictation/WavWriter.h"
#include "platform/AudioInput.h"

#include <QString>
#include <memory>
#include <mutex>

namespace murmelo {

// Records the default input into one WAV file in the dictation format (16 kHz, mono, 16-bit
// linear PCM) and meters it. Made together with its file; the final header is written when
// it stops. Used on the main thread; samples arrive on the input's own thread.
class AudioRecorder {
public:
    static constexpr int SAMPLE_RATE = 16000;
    // The power a silent route reads, as the meters report digital zero.
    static constexpr float SILENT_POWER_DB = -160.0f;

    // A prepared recorder whose file now exists; none, with the reason in error, when the
    // input or the file cannot be had.
    static std::unique_ptr<AudioRecorder> make(const QString& path, QString* error);
    ~AudioRecorder();

    // Starts recording; false when the input refused.
    bool record();
    // Ends the recording and writes the file's final header. Once; later calls do nothing.
    void stop();
    bool isRecording() const;

    // Takes the power of the samples that arrived since the last update (kept when none did).
    void updateMeters();
    // Average power in decibels of full scale, at most 0, SILENT_POWER_DB for digital zero.
    float averagePower(int channel) const;

    const QString& path() const { return path_; }

private:
    AudioRecorder(QString path, std::unique_ptr<AudioCapture> capture, std::unique_ptr<WavWriter> writer);
    void take(const qint16* samples, size_t count);

    QString path_;
    std::unique_ptr<AudioCapture> capture_;
    bool recording_ = false;
    bool stopped_ = false;
    float power_ = SILENT_POWER_DB;

    std::mutex mutex_;  // guards what the input's thread touches
    std::unique_ptr<WavWriter> writer_;
    double sumSquares_ = 0;
    qint64 metered_ = 0;
};

}  // namespace murmelo
