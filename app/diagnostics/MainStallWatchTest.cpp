#include "diagnostics/MainStallWatch.h"

#include "TestEnvironment.h"
#include "base/Log.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>

using namespace murmelo;

namespace {

// Fired by hand: the test decides when the background thread ticks.
class HandTicker : public MainStallWatch::Ticker {
public:
    void start(double firstAfter, double period, double, std::function<void()> tick) override {
        started = true;
        first = firstAfter;
        this->period = period;
        tick_ = std::move(tick);
    }
    void reschedule(double p, double) override {
        period = p;
        ++reschedules;
    }
    void stop() override { stopped = true; }
    void tick() { tick_(); }
    bool started = false;
    bool stopped = false;
    double first = 0, period = 0;
    int reschedules = 0;

private:
    std::function<void()> tick_;
};

class MainStallWatchTest : public ::testing::Test {
protected:
    MainStallWatchTest() {
        MainStallWatch::resetForTesting();
        MainStallWatch::Hooks hooks;
        hooks.ticker = &ticker;
        hooks.runInBackground = [](std::function<void()> job) { job(); };
        hooks.sample = [this](qint64, const QString& file, QString* error) {
            samples << file;
            if (samplerFails) {
                *error = QStringLiteral("нет такого");
                return false;
            }
            QFile f(file);
            f.open(QIODevice::WriteOnly);
            return true;
        };
        hooks.processTable = [this] {
            ++listings;
            return std::optional<QString>(QStringLiteral("%CPU   RSS COMMAND\n 55.0 1000 Xorg\n 12.5 2000 Web Content\n"
                                                         " 3.0 10 a\n 2.0 10 b\n 1.0 10 c\n 0.5 10 d\n"));
        };
        hooks.runLoopMode = [] { return QStringLiteral("default"); };
        MainStallWatch::setHooksForTesting(hooks);
    }
    ~MainStallWatchTest() override { MainStallWatch::resetForTesting(); }

    void started() {
        MainStallWatch::start();
        ASSERT_TRUE(ticker.started);
    }
    // One ping answered after the main thread was busy for the given time. Virtual time
    // moves without running the main queue, as if the main thread were stuck.
    void stall(double seconds, const QString& work = {}, int ticksDuring = 1) {
        ticker.tick();  // sends the ping
        if (!work.isEmpty()) MainStallWatch::enter(work);
        for (int i = 0; i < ticksDuring; ++i) {
            env.clock().advance(seconds / ticksDuring);
            ticker.tick();  // watches the pending ping
        }
        if (!work.isEmpty()) MainStallWatch::leave();
        env.runPending();  // the main thread comes back and answers
    }
    QStringList stallLines() const { return env.logLines().filter(QStringLiteral("главный поток стоял")); }

    test::TestEnvironment env;
    HandTicker ticker;
    QStringList samples;
    bool samplerFails = false;
    int listings = 0;
};

TEST_F(MainStallWatchTest, StallIsReportedWithTheLabelOfTheSectionItHappenedIn) {
    started();
    stall(0.75, QStringLiteral("буфер: опрашиваю пастборд"));
    const QStringList lines = stallLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(
        "⚠ главный поток стоял 750 мс — в это время: буфер: опрашиваю пастборд [переднее: ?, режим цикла: default]")))
        << lines[0].toStdString();
    EXPECT_TRUE(env.logContains(QStringLiteral("застой/соседи: Xorg 55.0%, Web Content 12.5%, a 3.0%, b 2.0%, c 1.0%")));
    EXPECT_FALSE(env.logContains(QStringLiteral("d 0.5%")));
}

TEST_F(MainStallWatchTest, ThresholdIsFourHundredMilliseconds) {
    started();
    stall(0.39);
    EXPECT_TRUE(stallLines().isEmpty());
    stall(0.4);
    ASSERT_EQ(stallLines().size(), 1);
    EXPECT_TRUE(stallLines()[0].contains(QStringLiteral("стоял 400 мс — в это время: —")));
}

TEST_F(MainStallWatchTest, NoNewPingWhileOneIsPendingAndWorstWaitCounts) {
    started();
    ticker.tick();
    env.clock().advance(0.3);
    ticker.tick();
    env.clock().advance(0.3);
    ticker.tick();
    // Only one answer is queued: the later ticks only watched.
    env.runPending();
    ASSERT_EQ(stallLines().size(), 1);
    EXPECT_TRUE(stallLines()[0].contains(QStringLiteral("стоял 600 мс")));
}

TEST_F(MainStallWatchTest, NeighboursAreListedOncePerMinute) {
    started();
    stall(0.5);
    stall(0.5);
    EXPECT_EQ(listings, 1);
    env.clock().advance(60);
    stall(0.5);
    EXPECT_EQ(listings, 2);
}

TEST_F(MainStallWatchTest, SamplerTakesLongStallsAtMostOnceInTenMinutes) {
    env.defaults().set(QStringLiteral("stallSampler"), true);
    started();
    EXPECT_TRUE(env.logContains(QStringLiteral("застой: снимок стека ВКЛЮЧЁН (ключ stallSampler)")));
    stall(1.2);
    EXPECT_TRUE(samples.isEmpty());
    stall(1.6, {}, 2);  // ticks read 0.8 and 1.6 s; the sample starts from the second
    ASSERT_EQ(samples.size(), 1);
    EXPECT_TRUE(samples[0].endsWith(QStringLiteral("-1600ms.txt"))) << samples[0].toStdString();
    EXPECT_TRUE(samples[0].startsWith(MainStallWatch::sampleDir() + QStringLiteral("/stall-")));
    EXPECT_TRUE(env.logContains(QStringLiteral("застой: снят стек — ") + samples[0]));
    stall(2.0);
    EXPECT_EQ(samples.size(), 1);
    env.clock().advance(600);
    samplerFails = true;
    stall(2.0);
    EXPECT_EQ(samples.size(), 2);
    EXPECT_TRUE(env.logContains(QStringLiteral("застой: снять стек не вышло — нет такого")));
}

TEST_F(MainStallWatchTest, SamplerOffTakesNothing) {
    started();
    stall(3.0, {}, 3);
    EXPECT_TRUE(samples.isEmpty());
}

TEST_F(MainStallWatchTest, OnlyTheNewestTwentySamplesRemain) {
    env.defaults().set(QStringLiteral("stallSampler"), true);
    const QString dir = MainStallWatch::sampleDir();
    QDir().mkpath(dir);
    const QDateTime base = QDateTime::currentDateTime().addDays(-1);
    for (int i = 0; i < 25; ++i) {
        QFile f(dir + QStringLiteral("/stall-1-%1ms.txt").arg(1000 + i));
        f.open(QIODevice::WriteOnly);
        f.setFileTime(base.addSecs(i), QFileDevice::FileModificationTime);
    }
    QFile other(dir + QStringLiteral("/notes.txt"));
    other.open(QIODevice::WriteOnly);
    other.setFileTime(base.addDays(-30), QFileDevice::FileModificationTime);
    other.close();
    started();
    stall(2.0);
    const QStringList left = QDir(dir).entryList(QDir::Files);
    EXPECT_EQ(left.filter(QStringLiteral("stall-")).size(), 20);
    EXPECT_TRUE(left.contains(QStringLiteral("notes.txt")));
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(left.contains(QStringLiteral("stall-1-%1ms.txt").arg(1000 + i))) << i;
}

TEST_F(MainStallWatchTest, SwitchedOffLogsOnceAndStartsNothing) {
    env.defaults().set(QStringLiteral("stallWatch"), false);
    MainStallWatch::start();
    EXPECT_FALSE(ticker.started);
    EXPECT_TRUE(env.logContains(QStringLiteral("сторож застоя выключен ключом stallWatch — застои в лог не пишутся")));
    MainStallWatch::setBusy(true);
    EXPECT_FALSE(MainStallWatch::isBusy());
}

TEST_F(MainStallWatchTest, NotABooleanCountsAsOn) {
    env.defaults().set(QStringLiteral("stallWatch"), QStringLiteral("no"));
    EXPECT_TRUE(MainStallWatch::enabled());
    env.defaults().set(QStringLiteral("stallSampler"), 1);
    EXPECT_FALSE(MainStallWatch::samplerEnabled());
}

TEST_F(MainStallWatchTest, BusyModeReschedulesOncePerChange) {
    MainStallWatch::setBusy(true);  // before start: nothing
    EXPECT_FALSE(MainStallWatch::isBusy());
    started();
    EXPECT_EQ(ticker.first, MainStallWatch::FIRST_PING);
    EXPECT_EQ(ticker.period, MainStallWatch::PERIOD_NORMAL);
    MainStallWatch::setBusy(true);
    MainStallWatch::setBusy(true);
    EXPECT_EQ(ticker.reschedules, 1);
    EXPECT_EQ(ticker.period, MainStallWatch::PERIOD_BUSY);
    MainStallWatch::setBusy(false);
    EXPECT_EQ(ticker.period, MainStallWatch::PERIOD_NORMAL);
}

// Counts what reaches it; stands for a main queue that may already be gone.
class CountingQueue : public MainQueue {
public:
    void post(std::function<void()>) override { ++posts; }
    TimerHandle after(double, std::function<void()>) override { return {}; }
    bool isMainThread() const override { return true; }
    int posts = 0;
};

TEST_F(MainStallWatchTest, StopEndsThePingsBeforeTheQueueGoes) {
    MainStallWatch::stop();  // never started (a one-shot mode): nothing to stop
    EXPECT_FALSE(ticker.stopped);
    started();
    MainStallWatch::stop();
    EXPECT_TRUE(ticker.stopped);
    CountingQueue queue;
    ScopedService<MainQueue> installed(queue);
    ticker.tick();  // a tick that was already under way
    EXPECT_EQ(queue.posts, 0);
    MainStallWatch::setBusy(true);
    EXPECT_EQ(ticker.reschedules, 0);
}

TEST_F(MainStallWatchTest, LabelsFromOtherThreadsAreIgnored) {
    MainStallWatch::enter(QStringLiteral("главный"));
    std::thread([] {
        MainStallWatch::enter(QStringLiteral("фоновый"));
        MainStallWatch::leave();
    }).join();
    EXPECT_EQ(MainStallWatch::currentWork(), QStringLiteral("главный"));
    MainStallWatch::leave();
    EXPECT_EQ(MainStallWatch::currentWork(), QStringLiteral("—"));
}

}  // namespace

namespace {

QString& longWork() {
    static QString* work = new QString(100000, QChar('x'));  // big enough to live in its own mapping
    return *work;
}

// Runs after every static object made later has been destroyed: it stands for a detached
// thread of the watch that is still running while the process exits.
void readWorkAfterExit() {
    if (MainStallWatch::currentWork() != longWork()) _exit(3);
}

}  // namespace

// The watch's threads are detached and may still run while the process exits; what they
// use must outlive the exit's destructors.
TEST(MainStallWatchExitTest, ItsStateOutlivesTheExitForThreadsStillRunning) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Registered before the watch's state exists, so it runs after that state's
            // destructor would have.
            std::atexit(readWorkAfterExit);
            test::TestEnvironment env;
            MainStallWatch::resetForTesting();
            MainStallWatch::enter(QString(longWork().constData(), longWork().size()));  // a copy of its own
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
