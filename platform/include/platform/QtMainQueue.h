#pragma once
#include "platform/MainQueue.h"

#include <QObject>
#include <QThread>

namespace murmelo {

// Wall time from the system, uptime from the monotonic clock.
class SystemClock : public Clock {
public:
    QDateTime now() const override;
    QDateTime nowUtc() const override;
    double uptime() const override;
};

// The main queue of the running application: Qt's event loop of the thread that created
// it (the GUI thread).
class QtMainQueue : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;
    void post(std::function<void()> fn) override;
    TimerHandle after(double seconds, std::function<void()> fn) override;
    bool isMainThread() const override;

private:
    QObject* context_;
    QThread* thread_;
};

}  // namespace murmelo
