#include "linux/GlibCallThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace murmelo::linuxdesktop;

namespace {

// Stands in for an application that answers only when told: the call it is in holds the
// thread until release().
struct SlowApplication {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    void release() { gate.set_value(); }
};

// A call after all others: once it answered, every earlier call has run or been dropped.
void drain(GlibCallThread& thread) {
    ASSERT_TRUE(thread.call<bool>([](CallGate&) { return true; }, 30).has_value());
}

}  // namespace

TEST(GlibCallThread, AnswersWhatTheCallReturnsOnItsThread) {
    GlibCallThread thread;
    const auto caller = std::this_thread::get_id();
    const auto answer = thread.call<std::thread::id>([](CallGate&) { return std::this_thread::get_id(); }, 30);
    ASSERT_TRUE(answer.has_value());
    EXPECT_NE(*answer, caller);
}

TEST(GlibCallThread, ACallWhoseCallerGaveUpWhileItWaitedNeverRuns) {
    GlibCallThread thread;
    SlowApplication app;
    auto busy = thread.submit([&](CallGate&) { app.opened.wait(); });
    std::atomic<bool> wrote{false};
    const auto late = thread.call<bool>(
        [&](CallGate& gate) {
            if (gate.commit()) wrote = true;
            return true;
        },
        0.01);
    EXPECT_FALSE(late.has_value());
    app.release();
    drain(thread);
    EXPECT_FALSE(wrote) << "a write the caller replaced by keys or the clipboard must not land as well";
}

TEST(GlibCallThread, ACallRunningWhenItsCallerGaveUpMayNotStartItsChange) {
    GlibCallThread thread;
    SlowApplication app;
    std::promise<void> reading;
    std::atomic<bool> wrote{false}, refused{false};
    auto ticket = thread.submit([&](CallGate& gate) {
        reading.set_value();
        app.opened.wait();  // the read before the write is slow
        if (gate.commit()) wrote = true;
        else refused = true;
    });
    reading.get_future().wait();
    EXPECT_FALSE(ticket->await(0.01, 30)) << "no change had begun: nothing to wait for";
    app.release();
    drain(thread);
    EXPECT_FALSE(wrote);
    EXPECT_TRUE(refused);
}

TEST(GlibCallThread, AChangeUnderWayIsWaitedForSoTheCallerKnowsItHappened) {
    GlibCallThread thread;
    SlowApplication app;
    std::promise<void> changing;
    std::atomic<bool> wrote{false};
    auto ticket = thread.submit([&](CallGate& gate) {
        ASSERT_TRUE(gate.commit());
        changing.set_value();
        app.opened.wait();  // the write itself is slow
        wrote = true;
    });
    changing.get_future().wait();
    // Past its own time-out the caller still waits for the change within the grace...
    std::thread answers([&] { app.release(); });
    EXPECT_TRUE(ticket->await(0, 30));
    answers.join();
    EXPECT_TRUE(wrote);

    // ...but not beyond it: then the call counts as not done.
    SlowApplication stuck;
    std::promise<void> stuckChanging;
    auto second = thread.submit([&](CallGate& gate) {
        gate.commit();
        stuckChanging.set_value();
        stuck.opened.wait();
    });
    stuckChanging.get_future().wait();
    EXPECT_FALSE(second->await(0, 0.01));
    stuck.release();
    drain(thread);
}

TEST(GlibCallThread, CallsRunInTheOrderHandedIn) {
    std::vector<int> order;
    {
        GlibCallThread thread;
        for (int i = 0; i < 20; ++i) thread.post([&order, i] { order.push_back(i); });
        drain(thread);
    }
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
}
