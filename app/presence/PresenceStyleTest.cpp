#include "presence/PresenceStyle.h"

#include "presence/DropPresenceWindows.h"
#include "presence/GlDropView.h"
#include "presence/SolarPasses.h"
#include "presence/Ladder.h"
#include "ui/AppState.h"
#include "sim/SimScreens.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using PresenceStyles::chosen;
using PresenceStyles::resolved;

// The hover zones as the panel is asked for them.
struct RecordingPanel : QuickPanelController {
    QStringList calls;
    void installHoverZone(DropPlacement p) override { calls << QStringLiteral("install ") + rawValue(p); }
    void removeHoverZone() override { calls << QStringLiteral("remove"); }
};

TEST(PresenceStyleTest, ChosenReadsOnlyTheFourTextsAndLeavesOtherValuesStored) {
    test::TestEnvironment env;
    const QString key = QStringLiteral("presenceStyle");
    EXPECT_EQ(chosen(), PresenceStyle::drop) << "absent";
    struct Case {
        QVariant stored;
        PresenceStyle expected;
    };
    const std::vector<Case> cases{
        {QString(), PresenceStyle::drop},
        {QStringLiteral("Drop"), PresenceStyle::drop},
        {QStringLiteral("baricon"), PresenceStyle::drop},
        {QStringLiteral("blue"), PresenceStyle::drop},
        {7, PresenceStyle::drop},
        {true, PresenceStyle::drop},
        {QStringLiteral("drop"), PresenceStyle::drop},
        {QStringLiteral("dropBottomLeft"), PresenceStyle::dropBottomLeft},
        {QStringLiteral("dropBottomRight"), PresenceStyle::dropBottomRight},
        {QStringLiteral("barIcon"), PresenceStyle::barIcon},
    };
    for (const Case& c : cases) {
        env.defaults().set(key, c.stored);
        EXPECT_EQ(chosen(), c.expected) << c.stored.toString().toStdString();
        // Reading never rewrites the user's value.
        EXPECT_EQ(env.defaults().object(key), c.stored);
    }
}

TEST(PresenceStyleTest, RawValuesRoundTripInTableOrder) {
    QStringList raws;
    for (PresenceStyle s : PresenceStyles::allCases) {
        raws << PresenceStyles::rawValue(s);
        EXPECT_EQ(PresenceStyles::fromRaw(PresenceStyles::rawValue(s)), s);
    }
    EXPECT_EQ(raws, QStringList({"drop", "dropBottomLeft", "dropBottomRight", "barIcon"}));
    QStringList places;
    for (DropPlacement p : DROP_PLACEMENTS) places << rawValue(p);
    EXPECT_EQ(places, QStringList({"top", "bottomLeft", "bottomRight"}));
    EXPECT_FALSE(dropPlacementFromRaw(QStringLiteral("Top")));
    EXPECT_EQ(PresenceStyles::placement(PresenceStyle::dropBottomLeft), DropPlacement::bottomLeft);
    EXPECT_FALSE(isCorner(DropPlacement::top));
    EXPECT_TRUE(isCorner(DropPlacement::bottomRight));
}

TEST(PresenceStyleTest, OnlyTheTopDropGivesWayToAnAutoHiddenPanel) {
    for (PresenceStyle s : PresenceStyles::allCases) {
        EXPECT_EQ(resolved(s, false), s);
        EXPECT_EQ(resolved(s, true), s == PresenceStyle::drop ? PresenceStyle::barIcon : s);
    }
}

TEST(PresenceStyleTest, TheChoiceSurvivesARestartOfTheStore) {
    test::TestEnvironment env;
    const QString path = env.root() + QStringLiteral("/defaults.json");
    {
        Defaults file(path);
        ScopedService<Defaults> scope(file);
        file.set(QStringLiteral("presenceStyle"), QStringLiteral("dropBottomLeft"));
    }
    Defaults again(path);
    ScopedService<Defaults> scope(again);
    EXPECT_EQ(chosen(), PresenceStyle::dropBottomLeft);
}

class PresenceApplyTest : public ::testing::Test {
protected:
    PresenceApplyTest() {
        screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800)),
                            sim::SimScreens::screen(QRectF(1280, 0, 1440, 900), 2)});
        screens.setMouse(QPointF(1500, 300));
    }
    DropPresenceWindows& drop() { return static_cast<DropPresenceWindows&>(app.drop()); }
    const RecordingDropView& view(size_t i) {
        return static_cast<const RecordingDropView&>(*drop().screenSlots().at(i).view);
    }
    int visibleWindows() {
        int n = 0;
        for (const auto& s : drop().screenSlots()) n += s.win()->isVisible() ? 1 : 0;
        return n;
    }

    test::TestEnvironment env;
    sim::SimScreens screens;
    ScopedService<Screens> screensScope{screens};
    WindowBoundsCache windows{[] { return std::vector<QRectF>{}; }, [] { return 0.0; },
                              [](std::function<void()> fn) { fn(); }, [] { return true; }};
    ScopedService<WindowBoundsCache> windowsScope{windows};
    RecordingPanel panel;
    ScopedService<QuickPanelController> panelScope{panel};
    AppState app{std::make_unique<LadderIndicator>(), std::make_unique<DropPresenceWindows>()};
};

TEST_F(PresenceApplyTest, CornerDropOnTwoScreensWithTheLiveDropUnderThePointer) {
    PresenceStyles::set(PresenceStyle::dropBottomRight, &app);
    EXPECT_EQ(env.defaults().stringValue(QStringLiteral("presenceStyle")), QStringLiteral("dropBottomRight"));
    EXPECT_TRUE(env.logContains(QStringLiteral("присутствие: выбрано dropBottomRight")));
    ASSERT_EQ(drop().screenSlots().size(), 2u);
    EXPECT_EQ(visibleWindows(), 2);
    EXPECT_EQ(app.item, nullptr);
    EXPECT_EQ(panel.calls, QStringList({"install bottomRight"}));
    // The light design in a corner sits exactly in the corner of each screen.
    EXPECT_EQ(drop().screenSlots()[0].frame, QRectF(1280 - 360, 0, 360, 360));
    EXPECT_EQ(drop().screenSlots()[1].frame, QRectF(1280 + 1440 - 360, 0, 360, 360));
    EXPECT_TRUE(env.logContains(QStringLiteral("капля: окно 360x360 свет из правой кромки снизу, показана")));

    app.recording(QStringLiteral("Editor"), {});
    EXPECT_EQ(view(0).lastState(), DropState::idle);
    EXPECT_EQ(view(1).lastState(), DropState::recording);
    EXPECT_EQ(drop().liveIdx(), 1u);
    EXPECT_TRUE(env.logContains(QStringLiteral("капля: разворачиваюсь свет из правой кромки снизу")));
    // While the drop is active the live screen stays put.
    screens.setMouse(QPointF(100, 100));
    app.transcribing(true);
    EXPECT_EQ(view(1).lastState(), DropState::recognizing);
    EXPECT_EQ(view(0).lastState(), DropState::idle);

    app.succeeded(true);
    env.advance(1.61);
    EXPECT_EQ(drop().pending(), DropState::succeeded);
    env.advance(0.02);
    EXPECT_EQ(drop().pending(), DropState::idle);
    EXPECT_FALSE(drop().cloud());
    EXPECT_EQ(view(1).lastState(), DropState::idle);
    // After idle the next request chooses the screen under the pointer again.
    app.recording(QStringLiteral("Editor"), {});
    EXPECT_EQ(drop().liveIdx(), 0u);
}

TEST_F(PresenceApplyTest, ARecordingInsideTheSuccessTimeCancelsTheReturnToIdle) {
    PresenceStyles::set(PresenceStyle::drop, &app);
    app.succeeded(false);
    env.advance(1.0);
    app.recording(QStringLiteral("Editor"), {});
    env.advance(5);
    EXPECT_EQ(drop().pending(), DropState::recording);
}

TEST_F(PresenceApplyTest, BarIconPutsTheDropAwayAndShowsTheStatusItemAndBack) {
    PresenceStyles::set(PresenceStyle::dropBottomLeft, &app);
    PresenceStyles::set(PresenceStyle::barIcon, &app);
    EXPECT_EQ(visibleWindows(), 0);
    EXPECT_TRUE(drop().hidden());
    EXPECT_NE(app.item, nullptr);
    EXPECT_EQ(panel.calls, QStringList({"install bottomLeft", "remove"}));
    EXPECT_TRUE(env.logContains(QStringLiteral("присутствие: выбрано barIcon")));
    // Hidden, the drop follows the state but orders no window in.
    app.recording(QStringLiteral("Editor"), {});
    EXPECT_EQ(visibleWindows(), 0);
    EXPECT_EQ(view(1).lastState(), DropState::recording);
    // A screen change while hidden builds nothing.
    screens.setScreens(screens.screens());
    EXPECT_EQ(visibleWindows(), 0);

    PresenceStyles::set(PresenceStyle::drop, &app);
    EXPECT_EQ(app.item, nullptr);
    EXPECT_EQ(visibleWindows(), 2);
    // The live drop comes back with the state it kept.
    EXPECT_EQ(view(1).lastState(), DropState::recording);
}

TEST_F(PresenceApplyTest, ApplyingTwiceLeavesOneSetOfWindows) {
    env.defaults().set(QStringLiteral("presenceStyle"), QStringLiteral("dropBottomRight"));
    PresenceStyles::apply(&app);
    PresenceStyles::apply(&app);
    EXPECT_EQ(drop().screenSlots().size(), 2u);
    int shownDrops = 0;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->flags().testFlag(Qt::WindowTransparentForInput)) ++shownDrops;
    EXPECT_EQ(shownDrops, 2);
    EXPECT_EQ(app.item, nullptr);
}

TEST_F(PresenceApplyTest, WithoutACompositorEveryDropBecomesTheStatusItemLoggedOnce) {
    screens.setCompositing(false);
    env.defaults().set(QStringLiteral("presenceStyle"), QStringLiteral("dropBottomRight"));
    PresenceStyles::apply(&app);
    PresenceStyles::apply(&app);
    EXPECT_TRUE(drop().screenSlots().empty());
    EXPECT_NE(app.item, nullptr);
    EXPECT_EQ(env.logLines().filter(QStringLiteral("нет композитного менеджера")).size(), 1);
    // The choice stays the user's.
    EXPECT_EQ(chosen(), PresenceStyle::dropBottomRight);
    screens.setCompositing(true);
    PresenceStyles::apply(&app);
    EXPECT_EQ(visibleWindows(), 2);
}

TEST_F(PresenceApplyTest, WithoutOpenGLADropStyleShowsTheStatusItemAndNothingTicks) {
    DropGraphics::switchOffForTesting(true);
    AppState glApp{std::make_unique<LadderIndicator>(),
                   std::make_unique<DropPresenceWindows>(
                       [](const DropRenderTransform& t, OrbDesign design) {
                           return std::make_unique<GlDropView>(t, design, [] { return 0.0; });
                       },
                       [] { return DropGraphics::shared().ready(); })};
    auto& glDrop = static_cast<DropPresenceWindows&>(glApp.drop());
    const size_t timers = env.queue().pendingTimers();
    PresenceStyles::apply(&glApp);
    glApp.recording(QStringLiteral("Editor"), {});
    PresenceStyles::apply(&glApp);
    // A screen change builds no window either.
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800))});
    DropGraphics::switchOffForTesting(false);

    EXPECT_NE(glApp.item, nullptr);
    EXPECT_TRUE(glDrop.screenSlots().empty());
    EXPECT_TRUE(glDrop.hidden());
    EXPECT_EQ(panel.calls.filter(QStringLiteral("install")).size(), 0) << panel.calls.join(", ").toStdString();
    EXPECT_EQ(env.logLines().filter(QStringLiteral("капля: OpenGL недоступен - верхнее присутствие выключено")).size(), 1);
    EXPECT_FALSE(env.logContains(QStringLiteral("нет композитного менеджера")));
    EXPECT_EQ(env.queue().pendingTimers(), timers) << "no frame clock or beat runs";
}

TEST_F(PresenceApplyTest, AMeetingsParticlesNeverReplaceARunningDictation) {
    PresenceStyles::apply(&app);
    app.recording(QStringLiteral("Editor"), {});
    app.drop().set(DropState::recording, true, false);
    EXPECT_FALSE(drop().particleOnly());
    app.idle();
    app.drop().set(DropState::recording, true, false);
    EXPECT_TRUE(drop().particleOnly());
    EXPECT_EQ(drop().pending(), DropState::recording);
}

TEST_F(PresenceApplyTest, PointerOutsideEveryScreenShowsTheStateEverywhere) {
    PresenceStyles::apply(&app);
    screens.setMouse(QPointF(-5000, -5000));
    app.recording(QStringLiteral("Editor"), {});
    EXPECT_FALSE(drop().liveIdx());
    EXPECT_EQ(view(0).lastState(), DropState::recording);
    EXPECT_EQ(view(1).lastState(), DropState::recording);
}

TEST_F(PresenceApplyTest, AScreenChangeWhileRecordingRebuildsAndChoosesTheLiveScreenAgain) {
    PresenceStyles::apply(&app);
    app.recording(QStringLiteral("Editor"), {});
    ASSERT_EQ(drop().liveIdx(), 1u);
    screens.setMouse(QPointF(10, 10));
    screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800))});
    ASSERT_EQ(drop().screenSlots().size(), 1u);
    EXPECT_EQ(drop().liveIdx(), 0u);
    EXPECT_EQ(view(0).lastState(), DropState::recording);
    EXPECT_EQ(visibleWindows(), 1);
}

}  // namespace
}  // namespace murmelo
