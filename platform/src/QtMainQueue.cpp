#include "platform/QtMainQueue.h"

#include "platform/Service.h"

#include <QCoreApplication>
#include <QTimer>
#include <ctime>

namespace murmelo {

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }
QDateTime SystemClock::nowUtc() const { return QDateTime::currentDateTimeUtc(); }

double SystemClock::uptime() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

Clock& Clock::shared() {
    if (auto* c = installedService<Clock>()) return *c;
    static SystemClock system;
    return system;
}

void Clock::install(Clock* clock) { installService<Clock>(clock); }

QtMainQueue::QtMainQueue() : context_(new QObject), thread_(QThread::currentThread()) {}

QtMainQueue::~QtMainQueue() { delete context_; }

void QtMainQueue::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
}

TimerHandle QtMainQueue::after(double seconds, std::function<void()> fn) {
    auto state = std::make_shared<TimerState>();
    auto schedule = [this, state, seconds, fn = std::move(fn)]() mutable {
        int ms = seconds <= 0 ? 0 : int(seconds * 1000.0 + 0.5);
        QTimer::singleShot(ms, Qt::PreciseTimer, context_, [state, fn = std::move(fn)] {
            if (state->cancelled) return;
            state->fired = true;
            fn();
        });
    };
    if (isMainThread()) schedule();
    else post(std::move(schedule));
    return TimerHandle(state);
}

bool QtMainQueue::isMainThread() const { return QThread::currentThread() == thread_; }

MainQueue& MainQueue::shared() {
    if (auto* q = installedService<MainQueue>()) return *q;
    // The application installs its queue in main(); a library used without one gets a
    // queue on the thread that asked first.
    static QtMainQueue fallback;
    return fallback;
}

void MainQueue::install(MainQueue* queue) { installService<MainQueue>(queue); }

}  // namespace murmelo
