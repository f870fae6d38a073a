#include "sim/ManualMainQueue.h"

#include <QTimeZone>
#include <algorithm>

namespace murmelo::sim {

ManualClock::ManualClock()
    : wallStart_(QDateTime(QDate(2026, 1, 15), QTime(10, 0, 0))) {}

QDateTime ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return wallStart_.addMSecs(qint64(elapsed_ * 1000.0 + 0.5));
}

double ManualClock::uptime() const {
    std::lock_guard lock(mutex_);
    return uptimeStart_ + elapsed_;
}

void ManualClock::advance(double seconds) {
    std::lock_guard lock(mutex_);
    if (seconds > 0) elapsed_ += seconds;
}

void ManualClock::setNow(const QDateTime& wall) {
    std::lock_guard lock(mutex_);
    wallStart_ = wall.addMSecs(-qint64(elapsed_ * 1000.0 + 0.5));
}

ManualMainQueue::ManualMainQueue(ManualClock& clock) : clock_(clock), thread_(std::this_thread::get_id()) {}

void ManualMainQueue::post(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(fn));
}

TimerHandle ManualMainQueue::after(double seconds, std::function<void()> fn) {
    auto state = std::make_shared<TimerState>();
    std::lock_guard lock(mutex_);
    timers_.push_back({clock_.uptime() + std::max(0.0, seconds), seq_++, state, std::move(fn)});
    return TimerHandle(state);
}

bool ManualMainQueue::isMainThread() const { return std::this_thread::get_id() == thread_; }

void ManualMainQueue::runPending() {
    for (;;) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(posted_);
        }
        if (batch.empty()) return;
        for (auto& fn : batch) fn();
    }
}

bool ManualMainQueue::popDue(double limit, Timer& out) {
    std::lock_guard lock(mutex_);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [](const Timer& t) { return t.state->cancelled.load(); }),
                  timers_.end());
    auto it = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
    if (it == timers_.end() || it->due > limit + 1e-9) return false;
    out = std::move(*it);
    timers_.erase(it);
    return true;
}

void ManualMainQueue::advance(double seconds) {
    runPending();
    const double target = clock_.uptime() + std::max(0.0, seconds);
    Timer t;
    while (popDue(target, t)) {
        double step = t.due - clock_.uptime();
        if (step > 0) clock_.advance(step);
        if (!t.state->cancelled) {
            t.state->fired = true;
            t.fn();
        }
        runPending();
    }
    double rest = target - clock_.uptime();
    if (rest > 0) clock_.advance(rest);
    runPending();
}

bool ManualMainQueue::fireNext() {
    runPending();
    Timer t;
    if (!popDue(1e300, t)) return false;
    double step = t.due - clock_.uptime();
    if (step > 0) clock_.advance(step);
    if (!t.state->cancelled) {
        t.state->fired = true;
        t.fn();
    }
    runPending();
    return true;
}

size_t ManualMainQueue::pendingTimers() const {
    std::lock_guard lock(mutex_);
    return size_t(std::count_if(timers_.begin(), timers_.end(),
                                [](const Timer& t) { return !t.state->cancelled; }));
}

}  // namespace murmelo::sim
