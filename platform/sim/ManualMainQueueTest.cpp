#include "sim/ManualMainQueue.h"

#include <gtest/gtest.h>
#include <thread>

using namespace murmelo;
using namespace murmelo::sim;

TEST(ManualMainQueueTest, TimersFireInVirtualTimeInDueOrder) {
    ManualClock clock;
    ManualMainQueue queue(clock);
    std::vector<std::pair<std::string, double>> fired;
    const double t0 = clock.uptime();
    queue.after(4.0, [&] { fired.push_back({"fallback", clock.uptime() - t0}); });
    queue.after(0.45, [&] {
        fired.push_back({"audit", clock.uptime() - t0});
        queue.after(1.5, [&] { fired.push_back({"follow-up", clock.uptime() - t0}); });
    });
    TimerHandle cancelled = queue.after(1.0, [&] { fired.push_back({"cancelled", 0}); });
    cancelled.cancel();

    queue.advance(0.44);
    EXPECT_TRUE(fired.empty());
    queue.advance(0.01);
    ASSERT_EQ(fired.size(), 1u);
    queue.advance(10);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0].first, "audit");
    EXPECT_NEAR(fired[0].second, 0.45, 1e-9);
    EXPECT_EQ(fired[1].first, "follow-up");
    EXPECT_NEAR(fired[1].second, 1.95, 1e-9);
    EXPECT_EQ(fired[2].first, "fallback");
    EXPECT_NEAR(fired[2].second, 4.0, 1e-9);
    EXPECT_NEAR(clock.uptime() - t0, 10.45, 1e-9);
    EXPECT_FALSE(cancelled.isPending());
}

TEST(ManualMainQueueTest, PostsFromOtherThreadsRunOnTheMainThreadInOrder) {
    ManualClock clock;
    ManualMainQueue queue(clock);
    std::vector<int> order;
    std::thread worker([&] {
        EXPECT_FALSE(queue.isMainThread());
        for (int i = 0; i < 3; ++i) queue.post([&, i] { order.push_back(i); });
    });
    worker.join();
    EXPECT_TRUE(order.empty());
    queue.runPending();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    const QDateTime before = clock.now();
    queue.advance(2.5);
    EXPECT_EQ(before.msecsTo(clock.now()), 2500);
}

// A repeating poll must not push a later timer off its boundary: time read back at a
// timer is its exact due time, however many other timers ran before it.
TEST(ManualMainQueueTest, TimersFireAtExactlyTheirDueTimeAmidAPoll) {
    ManualClock clock;
    ManualMainQueue queue(clock);
    queue.advance(1);
    std::function<void()> poll = [&] { queue.after(0.6, poll); };
    queue.after(0.6, poll);
    double firedAt = 0;
    queue.after(2.0, [&] { firedAt = clock.uptime(); });
    queue.advance(0.6);
    queue.advance(1.4);
    EXPECT_EQ(firedAt, 1003.0);
    EXPECT_EQ(clock.uptime(), 1003.0);
    // Tenths add up to whole seconds without drift.
    for (int i = 0; i < 10; ++i) queue.advance(0.1);
    EXPECT_EQ(clock.uptime(), 1004.0);
}
