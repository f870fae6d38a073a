#include "presence/Ladder.h"

#include "sim/SimScreens.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

TEST(WindowBoundsCacheTest, NextRefreshIsHeldOffByTheReadTimeUpToTwoSeconds) {
    EXPECT_DOUBLE_EQ(WindowBoundsCache::nextRefreshEarliest(10, -1), 10);
    EXPECT_DOUBLE_EQ(WindowBoundsCache::nextRefreshEarliest(10, 0.5), 10.5);
    EXPECT_DOUBLE_EQ(WindowBoundsCache::nextRefreshEarliest(10, 5), 12);
}

// A reader whose every read takes `walk` seconds of the injected clock, and a background
// that keeps its blocks until the test runs them.
class WindowBoundsCacheFixture : public ::testing::Test {
protected:
    std::vector<QRectF> read() {
        clock += walk;
        return list;
    }
    void runBackground() {
        auto jobs = std::move(background);
        background.clear();
        for (auto& job : jobs) job();
    }

    double clock = 100;
    double walk = 0;
    bool mainThread = true;
    std::vector<QRectF> list{QRectF(0, 0, 10, 10)};
    std::vector<std::function<void()>> background;
    WindowBoundsCache cache{[this] { return read(); }, [this] { return clock; },
                            [this](std::function<void()> fn) { background.push_back(std::move(fn)); },
                            [this] { return mainThread; }};
};

TEST_F(WindowBoundsCacheFixture, OneSynchronousReadThenStaleListsWhileOneBackgroundReadRuns) {
    EXPECT_EQ(cache.onScreenWindowBounds(100), list);
    EXPECT_EQ(cache.windowBoundsReads(), 1);
    // Within the lifetime of the list: no read.
    EXPECT_EQ(cache.onScreenWindowBounds(100.14), list);
    EXPECT_EQ(cache.windowBoundsReads(), 1);
    EXPECT_TRUE(background.empty());

    const auto old = list;
    list = {QRectF(1, 2, 3, 4)};
    EXPECT_EQ(cache.onScreenWindowBounds(100.2), old);
    EXPECT_TRUE(cache.isRefreshingWindowBounds());
    EXPECT_EQ(background.size(), 1u);
    // A second stale call while the read runs starts none and still gets the old list.
    EXPECT_EQ(cache.onScreenWindowBounds(100.5), old);
    EXPECT_EQ(background.size(), 1u);
    walk = 1.5;
    runBackground();
    EXPECT_FALSE(cache.isRefreshingWindowBounds());
    EXPECT_EQ(cache.windowBoundsReads(), 2);
    // The list counts as read at 100.2 + 1.5; the next refresh waits 1.5 s more.
    EXPECT_EQ(cache.onScreenWindowBounds(101.8), list);
    EXPECT_TRUE(background.empty());
    EXPECT_EQ(cache.onScreenWindowBounds(103.1), list);
    EXPECT_TRUE(background.empty()) << "held off until 103.2";
    cache.onScreenWindowBounds(103.2);
    EXPECT_EQ(background.size(), 1u);
}

TEST_F(WindowBoundsCacheFixture, ForgettingKeepsTheListUntilTheRefreshReplacesIt) {
    cache.onScreenWindowBounds(100);
    const auto old = list;
    list = {};
    cache.forgetWindowBounds();
    EXPECT_EQ(cache.onScreenWindowBounds(100.01), old);
    ASSERT_EQ(background.size(), 1u);
    runBackground();
    EXPECT_TRUE(cache.onScreenWindowBounds(100.02).empty());
}

TEST_F(WindowBoundsCacheFixture, OtherThreadsReadDirectlyAndLeaveTheCacheAlone) {
    mainThread = false;
    cache.onScreenWindowBounds(100);
    cache.onScreenWindowBounds(100);
    EXPECT_EQ(cache.windowBoundsReads(), 2);
    mainThread = true;
    cache.onScreenWindowBounds(100);
    EXPECT_EQ(cache.windowBoundsReads(), 3) << "the first main-thread call still reads synchronously";
}

class LadderIndicatorTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
    sim::SimScreens screens;
    ScopedService<Screens> screensScope{screens};
    std::vector<QRectF> windowList;
    WindowBoundsCache windows{[this] { return windowList; }, [this] { return env.clock().uptime(); },
                              [](std::function<void()> fn) { fn(); }, [] { return true; }};
    ScopedService<WindowBoundsCache> windowsScope{windows};
};

TEST_F(LadderIndicatorTest, SwitchedOffItOnlySaysSo) {
    LadderIndicator ladder;
    ladder.show();
    ladder.set(LadderState::live);
    EXPECT_EQ(ladder.pending(), LadderState::live);
    EXPECT_EQ(env.logLines().filter(QStringLiteral("ступени: выключены - присутствие рисует капля или значок, по выбору")).size(), 1);
    EXPECT_FALSE(LadderIndicator::enabled);
    EXPECT_TRUE(LadderIndicator::shouldShowLadder(true, LadderState::rest));
    EXPECT_FALSE(LadderIndicator::shouldShowLadder(false, LadderState::rest));
    EXPECT_TRUE(LadderIndicator::shouldShowLadder(false, LadderState::error));
}

TEST_F(LadderIndicatorTest, TheWatchFollowsTheNotchedScreensMenuBar) {
    ScreenInfo notched = sim::SimScreens::screen(QRectF(0, 0, 1512, 982), 2, 38);
    notched.auxiliaryTopLeftArea = QRectF(0, 944, 656, 38);
    notched.auxiliaryTopRightArea = QRectF(856, 944, 656, 38);
    // Linux screens have no notch: nothing to watch.
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800))});
    LadderIndicator ladder;
    EXPECT_FALSE(Ladder::notchScreen());
    env.advance(1);
    EXPECT_TRUE(ladder.barVisible());

    screens.setScreens({notched});
    windowList = {QRectF(0, 0, 1512, 982)};
    env.advance(1.2);
    EXPECT_FALSE(ladder.barVisible());
    EXPECT_EQ(env.logLines().filter(QStringLiteral("ступени: меню-бар скрыт (fullscreen)")).size(), 1);
    windowList.clear();
    env.advance(1.2);
    EXPECT_TRUE(ladder.barVisible());
    EXPECT_TRUE(env.logContains(QStringLiteral("ступени: меню-бар виден")));

    // A menu bar that takes no room counts as hidden, once.
    notched.visibleFrame = notched.frame;
    screens.setScreens({notched});
    env.advance(2);
    EXPECT_EQ(env.logLines().filter(QStringLiteral("ступени: меню-бар скрыт (fullscreen)")).size(), 2);
}

TEST_F(LadderIndicatorTest, MenuBarShowingNeedsAPanelThatTakesRoom) {
    const ScreenInfo panel = sim::SimScreens::screen(QRectF(0, 0, 1280, 800), 1, 24);
    const ScreenInfo thin = sim::SimScreens::screen(QRectF(0, 0, 1280, 800), 1, 1);
    screens.setScreens({panel});
    EXPECT_TRUE(Ladder::menuBarShowing(panel));
    EXPECT_FALSE(Ladder::menuBarShowing(thin));
    screens.setScreens({});
    EXPECT_FALSE(Ladder::fullscreenWindowCovers(panel)) << "no screens at all";
}

}  // namespace
}  // namespace murmelo
