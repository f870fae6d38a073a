#pragma once
#include "base/Defaults.h"
#include "platform/Service.h"
#include "sim/ManualMainQueue.h"

#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace murmelo::test {

// Everything a test needs from the outside world, made fresh: every folder under a
// temporary directory, virtual time, and an in-memory defaults domain. Restores the
// previous services when it goes away.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return dir_.path(); }
    sim::ManualClock& clock() { return clock_; }
    sim::ManualMainQueue& queue() { return queue_; }
    Defaults& defaults() { return defaults_; }

    // Moves virtual time, firing timers on the way.
    void advance(double seconds) { queue_.advance(seconds); }
    void runPending() { queue_.runPending(); }
    // Serves the manual main queue and this thread's Qt events until the condition holds or
    // the time is up; true when it held. For work done by real servers and threads.
    bool waitFor(const std::function<bool()>& condition, int limitMs = 30000);

    // The log lines written so far in this test (the test log, not the user's).
    QStringList logLines() const;
    QString logText() const;
    bool logContains(const QString& fragment) const { return logText().contains(fragment); }

private:
    QTemporaryDir dir_;
    sim::ManualClock clock_;
    sim::ManualMainQueue queue_;
    Defaults defaults_;
    ScopedService<Clock> clockScope_{clock_};
    ScopedService<MainQueue> queueScope_{queue_};
    ScopedService<Defaults> defaultsScope_{defaults_};
};

}  // namespace murmelo::test
