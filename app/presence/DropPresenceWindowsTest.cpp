#include "presence/DropPresenceWindows.h"

#include "presence/Ladder.h"
#include "sim/SimPower.h"
#include "sim/SimScreens.h"
#include "TestEnvironment.h"

#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using T = DropRenderTransform;

TEST(DropRenderTransformTest, CornerScaleRulesAtOneAndTwoTimes) {
    struct Case {
        double scale, target, reveal, side;
    };
    for (const Case& c : {Case{2, 25, 22.5, 47}, Case{1, 50, 45, 94}, Case{0.5, 50, 45, 94}}) {
        EXPECT_DOUBLE_EQ(T::targetPoints(c.scale), c.target) << c.scale;
        EXPECT_DOUBLE_EQ(T::cornerSideRevealPoints(c.scale), c.reveal) << c.scale;
        EXPECT_DOUBLE_EQ(T::cornerSideOffsetPoints(c.scale), c.side) << c.scale;
    }
}

TEST(DropRenderTransformTest, CornerFramesOfBothDesigns) {
    const QRectF screen(0, 0, 1440, 900);
    EXPECT_EQ(T::cornerFrame(DropPlacement::bottomRight, screen, 2, OrbDesign::water), QRectF(1357.5, 0, 214, 127));
    EXPECT_EQ(T::cornerFrame(DropPlacement::bottomLeft, screen, 2, OrbDesign::water),
              QRectF(-47 + 22.5 - 107, 0, 214, 127));
    EXPECT_EQ(T::cornerFrame(DropPlacement::bottomRight, screen, 1, OrbDesign::water),
              QRectF(1440 + 94 - 45 - 107, 0, 214, 127));
    // On a second screen the frame follows that screen's edges.
    const QRectF second(1440, 100, 1280, 800);
    EXPECT_EQ(T::cornerFrame(DropPlacement::bottomLeft, second, 1, OrbDesign::light), QRectF(1440, 100, 360, 360));
    EXPECT_EQ(T::cornerFrame(DropPlacement::bottomRight, second, 1, OrbDesign::light),
              QRectF(1440 + 1280 - 360, 100, 360, 360));

    const T water = T::corner(DropPlacement::bottomRight, OrbDesign::water);
    EXPECT_EQ(water.sourceAnchor, QPointF(107, 0));
    EXPECT_EQ(water.outputAnchor, QPointF(107, 127));
    EXPECT_DOUBLE_EQ(water.rotation, M_PI);
    EXPECT_EQ(water.mirrorX, -1);
    const T light = T::corner(DropPlacement::bottomLeft, OrbDesign::light);
    EXPECT_EQ(light.canvasSize, QSizeF(360, 360));
    EXPECT_EQ(light.outputAnchor, QPointF(0, 0));
    EXPECT_EQ(light.mirrorX, 1);
    const T top = T::top(2, OrbDesign::light);
    EXPECT_EQ(top.canvasSize, QSizeF(560, 340));
    EXPECT_EQ(top.sourceAnchor, QPointF(280, 2));
}

class DropWindowsTest : public ::testing::Test {
protected:
    DropPresenceWindows& make() {
        drop = std::make_unique<DropPresenceWindows>();
        return *drop;
    }
    const RecordingDropView& view(size_t i) {
        return static_cast<const RecordingDropView&>(*drop->screenSlots().at(i).view);
    }
    bool visible(size_t i) { return drop->screenSlots().at(i).win()->isVisible(); }

    test::TestEnvironment env;
    sim::SimScreens screens;
    ScopedService<Screens> screensScope{screens};
    std::vector<QRectF> windowList;
    WindowBoundsCache windows{[this] { return windowList; }, [this] { return env.clock().uptime(); },
                              [](std::function<void()> fn) { fn(); }, [] { return true; }};
    ScopedService<WindowBoundsCache> windowsScope{windows};
    std::unique_ptr<DropPresenceWindows> drop;
};

TEST_F(DropWindowsTest, NotchedScreenHangsTheWaterDropUnderTheNotchAndTheLightAtTheTop) {
    ScreenInfo notched = sim::SimScreens::screen(QRectF(0, 0, 1512, 982), 2, 38);
    notched.auxiliaryTopLeftArea = QRectF(0, 944, 656, 38);
    notched.auxiliaryTopRightArea = QRectF(856, 944, 656, 38);
    screens.setScreens({notched});
    ASSERT_TRUE(Ladder::notchScreen());

    env.defaults().set(QStringLiteral("orbStyle"), QStringLiteral("water"));
    make().show(DropPlacement::top);
    const auto& slot = drop->screenSlots().at(0);
    EXPECT_EQ(slot.frame, QRectF(756 - 107, 982 - 38 + 2 - 127, 214, 127));
    EXPECT_TRUE(env.logContains(QStringLiteral("капля: окно 214x127 капля под бровью 38 px, показана")));
    EXPECT_TRUE(view(0).calls.isEmpty() || !view(0).calls.contains(QStringLiteral("configureSolarTop")));

    env.defaults().set(QStringLiteral("orbStyle"), QStringLiteral("light"));
    drop->show(DropPlacement::top);
    EXPECT_EQ(drop->screenSlots().at(0).frame, QRectF(756 - 280, 982 + 2 - 340, 560, 340));
    EXPECT_TRUE(env.logContains(QStringLiteral("капля: окно 560x340 свет вровень с бровью 38 px")));
    EXPECT_TRUE(view(0).calls.contains(QStringLiteral("configureSolarTop")));
}

TEST_F(DropWindowsTest, WindowsSitWhereTheFramesSayInTheWindowSystemsCoordinates) {
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1440, 900), 2)});
    env.defaults().set(QStringLiteral("orbStyle"), QStringLiteral("water"));
    make().show(DropPlacement::bottomRight);
    EXPECT_TRUE(env.logContains(QStringLiteral("капля: окно 214x127 капля справа снизу, выезд 45 px, показана")));
    EXPECT_TRUE(view(0).calls.contains(QStringLiteral("configureCorner bottomRight 2")));
    // Top-left origin: the window's top is 127 pt above the bottom edge of the screen; the
    // half point of its left edge rounds to the right.
    EXPECT_EQ(drop->screenSlots()[0].win()->geometry(), QRect(1358, 900 - 127, 214, 127));
    make().show(DropPlacement::top);
    EXPECT_EQ(drop->screenSlots()[0].win()->geometry(), QRect(720 - 107, 0, 214, 127));
    EXPECT_TRUE(env.logContains(QStringLiteral("капля: окно 214x127 у верхней кромки, показана")));
}

TEST_F(DropWindowsTest, TopDropBehindAFullScreenWindowShowsOnlyWhileActive) {
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800)),
                        sim::SimScreens::screen(QRectF(1280, 0, 1280, 800))});
    // A full-screen window on the second screen (window-system coordinates, y down).
    windowList = {QRectF(1280.5, 0.5, 1279, 799.5)};
    screens.setMouse(QPointF(1500, 300));
    make().show(DropPlacement::top);
    EXPECT_TRUE(visible(0));
    EXPECT_FALSE(visible(1));
    EXPECT_TRUE(env.logContains(QStringLiteral("у верхней кромки, fullscreen - жду состояния")));
    drop->set(DropState::recording, false, false);
    EXPECT_TRUE(visible(1));
    EXPECT_TRUE(view(1).animating);
    drop->set(DropState::idle, false, false);
    EXPECT_FALSE(visible(1));
    EXPECT_FALSE(view(1).animating);
    // The window closes: one watch starts the background read of the window list, the next
    // one sees its result.
    windowList.clear();
    env.advance(0.81);
    EXPECT_TRUE(visible(1));
}

TEST_F(DropWindowsTest, CornerDropStepsAsideOnlyForAFullScreenWindow) {
    // No top panel at all: a corner drop does not care.
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800), 1, 0)});
    make().show(DropPlacement::bottomLeft);
    EXPECT_TRUE(visible(0));
    windowList = {QRectF(0, 0, 1280, 800)};
    env.advance(0.81);
    EXPECT_FALSE(visible(0));
}

TEST_F(DropWindowsTest, BringToFrontOnlyWhileActiveAndWakeRestartsTheViews) {
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800))});
    make().show(DropPlacement::bottomLeft);
    drop->hide();
    EXPECT_EQ(view(0).calls.filter(QStringLiteral("stopAnim")).size(), 1);
    drop->screensDidWake();
    EXPECT_TRUE(view(0).animating);
    drop->bringToFront();  // idle: nothing to raise, nothing to fail
    EXPECT_FALSE(visible(0));
}

TEST_F(DropWindowsTest, WakingFromSleepRebuildsTheShownWindows) {
    sim::SimPower power;
    ScopedService<Power> powerScope(power);
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800))});
    make().show(DropPlacement::bottomLeft);
    power.didWake();
    ASSERT_EQ(drop->screenSlots().size(), 1u);
    EXPECT_EQ(view(0).calls.filter(QStringLiteral("startAnim")).size(), 1) << "a fresh view";
    EXPECT_TRUE(view(0).animating);
    EXPECT_EQ(env.logLines().filter(QStringLiteral("капля: окно 360x360 свет из левой кромки снизу, показана")).size(), 2);
    drop.reset();
    power.didWake();  // the observer went with the drop
}

TEST(LadderQueriesTest, ACoveringWindowMayFallShortByOnePointOnEachEdge) {
    const QRectF screen(0, 0, 1280, 800);
    struct Case {
        QRectF window;
        bool covers;
    };
    const std::vector<Case> cases{
        {QRectF(0, 0, 1280, 800), true},      {QRectF(1, 1, 1278, 798), true},
        {QRectF(1.01, 0, 1278.99, 800), false}, {QRectF(0, 1.01, 1280, 798.99), false},
        {QRectF(0, 0, 1278.99, 800), false},  {QRectF(0, 0, 1280, 798.99), false},
        {QRectF(-10, -10, 1300, 820), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ladder::windowCoversScreen(c.window.x(), c.window.y(), c.window.width(), c.window.height(), screen, 0),
                  c.covers)
            << c.window.x() << "," << c.window.y() << " " << c.window.width() << "x" << c.window.height();
}

}  // namespace
}  // namespace murmelo
