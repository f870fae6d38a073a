#pragma once
#include "dictation/AudioRecorder.h"
#include "platform/MainQueue.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

namespace murmelo {

// The microphone for one dictation at a time. Keeps a recorder and its file prepared ahead
// of the press, watches the first half second of every take for a route that delivers
// digital silence (and rebuilds once when it does), meters the level for the indicators and
// sweeps old recordings out of the temporary folder. Main thread only.
class Recorder {
public:
    struct Take {
        double dur = 0;  // seconds from the start (or the dead-route restart) to the stop
        QString url;
    };

    // File names of recordings: "murmelo_rec_" + milliseconds + "_" + sequence + ".wav".
    static inline const QString FILE_PREFIX = QStringLiteral("murmelo_rec_");
    static inline const QString FILE_SUFFIX = QStringLiteral(".wav");
    static constexpr double DEAD_ROUTE_CHECK_AFTER = 0.5;
    static constexpr float DEAD_ROUTE_POWER_DB = -159.0f;

    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void prime();
    void start();
    std::optional<Take> stop();
    void discardPrimedIfIdle();
    void forceRebuild();
    void inputDeviceChanged() { forceRebuild(); }
    // 0 ... 1 for the presence indicators.
    double currentLevel();

    // Deletes recordings older than a day from the temporary folder and makes the others
    // owner-only.
    static void sweepOldRecordings();
    // At start-up: recordings an earlier run left unfinished (its primed file, a take cut
    // off by a kill) belong to a process that is gone, since only one copy runs; they go at
    // once instead of a day later. A finished recording kept for a look stays its day.
    static void sweepLeftovers();

    const std::optional<QDateTime>& startTime() const { return startTime_; }
    const std::optional<QString>& primedURL() const { return primedURL_; }
    const std::optional<QString>& activeURL() const { return activeURL_; }
    bool hasRecorder() const { return rec_ != nullptr; }
    bool isRecording() const { return rec_ && rec_->isRecording(); }

private:
    QString nextFileName();
    void watchForDeadRoute();
    void checkDeadRoute();
    void dropRecorder();

    std::unique_ptr<AudioRecorder> rec_;
    std::optional<QDateTime> startTime_;
    std::optional<QString> primedURL_;
    std::optional<QString> activeURL_;
    bool deadRouteRetried_ = false;
    TimerHandle routeWatchdog_;
    // The dead-route check holds the recorder only weakly.
    std::shared_ptr<Recorder*> self_;

    static inline std::atomic<quint64> seq{0};
};

// The one recorder of the process.
Recorder& recorder();

}  // namespace murmelo
