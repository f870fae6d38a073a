#pragma once
#include <QDateTime>
#include <atomic>
#include <functional>
#include <memory>

namespace murmelo {

struct TimerState {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> fired{false};
};

// A scheduled main-queue block. Copies share the same timer; cancel() is idempotent and
// safe after the block ran.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<TimerState> s) : s_(std::move(s)) {}
    void cancel() { if (s_) s_->cancelled = true; }
    // Scheduled, not cancelled and not yet run.
    bool isPending() const { return s_ && !s_->cancelled && !s_->fired; }
    bool isValid() const { return s_ != nullptr; }
    void reset() { s_.reset(); }

private:
    std::shared_ptr<TimerState> s_;
};

// Wall time and uptime. Uptime is monotonic seconds (the system-uptime time base);
// wall time is what log lines and dates use.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // The same instant in UTC. The system clock reads it without the local-time conversion
    // (which consults the time-zone files), for callers that run on every key.
    virtual QDateTime nowUtc() const { return now().toUTC(); }
    virtual double uptime() const = 0;

    static Clock& shared();
    static void install(Clock* clock);
};

// The one way to run work on the main thread and to schedule timers there.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Thread-safe: runs fn on the main thread soon, in posting order.
    virtual void post(std::function<void()> fn) = 0;
    // Runs fn on the main thread after the given seconds unless the handle is cancelled.
    virtual TimerHandle after(double seconds, std::function<void()> fn) = 0;
    virtual bool isMainThread() const = 0;

    static MainQueue& shared();
    static void install(MainQueue* queue);
};

}  // namespace murmelo
