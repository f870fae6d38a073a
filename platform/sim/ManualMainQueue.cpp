#include "sim/ManualMainQueue.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <limits>

namespace murmelo::sim {

ManualClock::ManualClock()
    : wallStart_(QDateTime(QDate(2026, 1, 15), QTime(10, 0, 0))) {}

qint64 ManualClock::toNanos(double seconds) { return seconds > 0 ? std::llround(seconds * 1e9) : 0; }

QDateTime ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return wallStart_.addMSecs((elapsedNs_ + 500'000) / 1'000'000);
}

double ManualClock::uptime() const {
    std::lock_guard lock(mutex_);
    return double(uptimeStartNs_ + elapsedNs_) / 1e9;
}

qint64 ManualClock::uptimeNanos() const {
    std::lock_guard lock(mutex_);
    return uptimeStartNs_ + elapsedNs_;
}

void ManualClock::advance(double seconds) {
    std::lock_guard lock(mutex_);
    elapsedNs_ += toNanos(seconds);
}

void ManualClock::advanceTo(qint64 uptimeNanos) {
    std::lock_guard lock(mutex_);
    elapsedNs_ = std::max(elapsedNs_, uptimeNanos - uptimeStartNs_);
}

void ManualClock::setNow(const QDateTime& wall) {
    std::lock_guard lock(mutex_);
    wallStart_ = wall.addMSecs(-((elapsedNs_ + 500'000) / 1'000'000));
}

ManualMainQueue::ManualMainQueue(ManualClock& clock) : clock_(clock), thread_(std::this_thread::get_id()) {}

void ManualMainQueue::post(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(fn));
}

TimerHandle ManualMainQueue::after(double seconds, std::function<void()> fn) {
    auto state = std::make_shared<TimerState>();
    std::lock_guard lock(mutex_);
    timers_.push_back({clock_.uptimeNanos() + ManualClock::toNanos(seconds), seq_++, state, std::move(fn)});
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

bool ManualMainQueue::popDue(qint64 limitNs, Timer& out) {
    std::lock_guard lock(mutex_);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [](const Timer& t) { return t.state->cancelled.load(); }),
                  timers_.end());
    auto it = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
        return a.dueNs != b.dueNs ? a.dueNs < b.dueNs : a.seq < b.seq;
    });
    if (it == timers_.end() || it->dueNs > limitNs) return false;
    out = std::move(*it);
    timers_.erase(it);
    return true;
}

void ManualMainQueue::fire(Timer& t) {
    clock_.advanceTo(t.dueNs);
    if (!t.state->cancelled) {
        t.state->fired = true;
        t.fn();
    }
    runPending();
}

void ManualMainQueue::advance(double seconds) {
    runPending();
    const qint64 target = clock_.uptimeNanos() + ManualClock::toNanos(seconds);
    Timer t;
    while (popDue(target, t)) fire(t);
    clock_.advanceTo(target);
    runPending();
}

bool ManualMainQueue::fireNext() {
    runPending();
    Timer t;
    if (!popDue(std::numeric_limits<qint64>::max(), t)) return false;
    fire(t);
    return true;
}

size_t ManualMainQueue::pendingTimers() const {
    std::lock_guard lock(mutex_);
    return size_t(std::count_if(timers_.begin(), timers_.end(),
                                [](const Timer& t) { return !t.state->cancelled; }));
}

}  // namespace murmelo::sim
