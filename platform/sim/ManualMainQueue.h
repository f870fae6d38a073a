#pragma once
#include "platform/MainQueue.h"

#include <QDateTime>
#include <mutex>
#include <thread>
#include <vector>

namespace murmelo::sim {

// Virtual time: wall time and uptime move only when a test advances them.
class ManualClock : public Clock {
public:
    // Starts at a fixed local date (15 Jan 2026, 10:00:00) and 1000 s of uptime.
    ManualClock();
    QDateTime now() const override;
    double uptime() const override;
    void advance(double seconds);
    void setNow(const QDateTime& wall);

    // Virtual time is kept in whole nanoseconds, so sums of steps never drift.
    static qint64 toNanos(double seconds);
    qint64 uptimeNanos() const;
    // Moves uptime forward to the given instant (never back).
    void advanceTo(qint64 uptimeNanos);

private:
    mutable std::mutex mutex_;
    QDateTime wallStart_;
    qint64 uptimeStartNs_ = 1000'000'000'000;
    qint64 elapsedNs_ = 0;
};

// A main queue run by hand: posted blocks run on runPending(), timers fire in due order as
// advance() moves the clock through them. Nothing sleeps.
class ManualMainQueue : public MainQueue {
public:
    explicit ManualMainQueue(ManualClock& clock);
    void post(std::function<void()> fn) override;
    TimerHandle after(double seconds, std::function<void()> fn) override;
    bool isMainThread() const override;

    // Runs posted blocks (and those they post) until none is left.
    void runPending();
    // Moves virtual time forward, firing each timer at its due time.
    void advance(double seconds);
    // Advances to the next pending timer and fires it; false when none is pending.
    bool fireNext();
    size_t pendingTimers() const;

private:
    struct Timer {
        qint64 dueNs;
        unsigned long long seq;
        std::shared_ptr<TimerState> state;
        std::function<void()> fn;
    };
    bool popDue(qint64 limitNs, Timer& out);
    void fire(Timer& t);

    ManualClock& clock_;
    std::thread::id thread_;
    mutable std::mutex mutex_;
    std::vector<std::function<void()>> posted_;
    std::vector<Timer> timers_;
    unsigned long long seq_ = 0;
};

}  // namespace murmelo::sim
