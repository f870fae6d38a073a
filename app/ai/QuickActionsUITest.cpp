#include "ai/QuickActionsFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <gtest/gtest.h>

using namespace murmelo;
using State = QuickActionPanelController::State;
namespace M = QuickActionBarMetrics;

namespace {

using Ids = QList<QuickActionID>;
const QuickActionID copy = QuickActionID::copy, improve = QuickActionID::improve, more = QuickActionID::more;
const QRectF visible(0, 0, 1280, 776);

class QuickActionsUITest : public test::QuickActionsFixture {
protected:
    QuickActionSelection selection(QPointF anchor = {300, 400}, std::optional<QRectF> bounds = std::nullopt) {
        QuickActionSelection s;
        s.text = "превет мир";
        s.targetPID = pid_t(desktop.app("org.kde.kate")->identity.pid);
        s.bundleID = "org.kde.kate";
        s.appName = "Kate";
        s.isEditable = true;
        s.anchor = anchor;
        s.selectionBounds = bounds;
        s.detectionPath = "ax-bounds";
        return s;
    }
};

TEST(QuickActionBarMetricsTest, ButtonsShareTheBarOrShrinkTogether) {
    M::setTextWidth([](const QString& t) { return 7.0 * double(t.size()); });
    // "Копировать" 10 letters, "Улучшить" 8: 70 + 39 and 56 + 39 points; More is always 38.
    EXPECT_EQ(M::preferredWidth(copy), 109);
    EXPECT_EQ(M::preferredWidth(more), 38);
    EXPECT_EQ(M::width({copy, improve, more}), 398);
    EXPECT_EQ(M::width({copy, improve, QuickActionID::translate, QuickActionID::naturalEnglish, more}), 529);

    struct Case {
        const char* name;
        double width;
        bool beadOnLeft;
        QRectF bead, separator;
        QList<QRectF> buttons;
    } cases[] = {
        {"spare room goes to the titled buttons", 398, true, {6, 6, 32, 32}, {43, 11, 1, 22},
         {{48, 6, 158, 32}, {208, 6, 144, 32}, {354, 6, 38, 32}}},
        {"bead on the right", 398, false, {360, 6, 32, 32}, {355, 11, 1, 22},
         {{6, 6, 158, 32}, {166, 6, 144, 32}, {312, 6, 38, 32}}},
        {"too narrow: all shrink by one factor", 200, true, {6, 6, 32, 32}, {43, 11, 1, 22},
         {{48, 6, 109 * 142.0 / 242, 32}, {48 + 109 * 142.0 / 242 + 2, 6, 95 * 142.0 / 242, 32},
          {48 + 204 * 142.0 / 242 + 4, 6, 38 * 142.0 / 242, 32}}},
    };
    for (const Case& c : cases) {
        const QuickActionBarLayout l = M::layout(QRectF(0, 0, c.width, 44), {copy, improve, more}, c.beadOnLeft);
        EXPECT_EQ(l.beadFrame, c.bead) << c.name;
        EXPECT_EQ(l.separatorFrame, c.separator) << c.name;
        ASSERT_EQ(l.actionFrames.size(), c.buttons.size()) << c.name;
        for (qsizetype i = 0; i < c.buttons.size(); ++i) {
            EXPECT_NEAR(l.actionFrames[i].x(), c.buttons[i].x(), 1e-9) << c.name << " #" << i;
            EXPECT_NEAR(l.actionFrames[i].width(), c.buttons[i].width(), 1e-9) << c.name << " #" << i;
        }
    }
    EXPECT_TRUE(M::layout(QRectF(0, 0, 398, 44), {}, true).actionFrames.isEmpty());
    M::setTextWidth({});
}

TEST(QuickActionPanelGeometryTest, TheOrbGoesBesideTheSelectionInsideTheScreen) {
    struct Case {
        const char* name;
        QPointF anchor;
        std::optional<QRectF> bounds;
        QPointF centre;
    } cases[] = {
        {"no bounds: below and right of the anchor", {300, 400}, std::nullopt, {327.5, 372.5}},
        {"no room below: above", {300, 40}, std::nullopt, {327.5, 67.5}},
        {"empty bounds count as none", {300, 400}, QRectF(280, 390, 0, 20), {327.5, 372.5}},
        {"near the right edge: left of the anchor", {1260, 400}, std::nullopt, {1232.5, 372.5}},
        {"anchor near the bottom edge of the bounds", {300, 305}, QRectF(100, 300, 200, 20), {327.5, 266.5}},
        {"anchor near the top edge of the bounds", {300, 318}, QRectF(100, 300, 200, 20), {327.5, 353.5}},
        {"top edge without room above", {300, 760}, QRectF(100, 740, 200, 22), {327.5, 706.5}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QuickActionPanelController::orbCenter(c.anchor, c.bounds, visible), c.centre) << c.name;
    EXPECT_TRUE(QuickActionPanelController::placesBeadOnLeft({327.5, 372.5}, 398, visible));
    EXPECT_FALSE(QuickActionPanelController::placesBeadOnLeft({1232.5, 372.5}, 398, visible));
    // Room on neither side: the wider side wins.
    EXPECT_FALSE(QuickActionPanelController::placesBeadOnLeft({700, 372.5}, 1300, visible));
}

TEST(QuickActionPanelGeometryTest, TheMoreMenuOffersOnlyWhatTheBarLacks) {
    using Q = QuickActionID;
    EXPECT_EQ(QuickActionPanelController::moreCandidates(true, {Q::improve, Q::translate}),
              (Ids{Q::shorter, Q::business, Q::friendly, Q::naturalEnglish}));
    EXPECT_EQ(QuickActionPanelController::moreCandidates(false, {Q::translate, Q::summarize, Q::addToDictionary}),
              (Ids{Q::explain, Q::reply}));
}

TEST_F(QuickActionsUITest, TheBeadUnfoldsIntoTheBarWhereTheOrbWas) {
    panel.show(selection({1260, 400}), {improve, QuickActionID::translate});
    EXPECT_EQ(panel.state(), State::collapsed);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.frame(), QRectF(1232.5 - 28.5, 372.5 - 28.5, 57, 57));
    EXPECT_TRUE(env.logContains("Quick Actions: выделение 10 симв., sig="));
    EXPECT_TRUE(env.logContains(", ax-bounds, Kate"));
    EXPECT_FALSE(env.logContains("превет"));

    panel.expand();
    ASSERT_EQ(panel.state(), State::actions);
    EXPECT_FALSE(panel.beadOnLeft());
    const QRectF bar = panel.frame();
    // The bar's bead (16 points in from its right end) sits on the orb's centre.
    EXPECT_EQ(bar.right() - 6 - 16, 1232.5);
    EXPECT_EQ(bar.height(), 44);
    EXPECT_EQ(bar.center().y(), 372.5);
}

// The views change the panel from inside their own events: the pointer entering the bead,
// a click on the bar's bead, a press of one of its buttons.
TEST_F(QuickActionsUITest, ThePanelChangesFromInsideItsViewsEvents) {
    const auto content = [&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return panel.window()->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    };
    panel.show(selection(), {improve});
    QEnterEvent enter(QPointF(28, 28), QPointF(28, 28), QPointF(28, 28));
    // A view must outlive its own event: Qt still uses it when the handler returns.
    QPointer<QWidget> orb = content();
    QApplication::sendEvent(orb, &enter);
    ASSERT_EQ(panel.state(), State::actions);
    EXPECT_TRUE(orb) << "the bead was deleted inside its own event";

    // The bar's bead sits 6 points in from its left end, 32 across.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(22, 22), QPointF(22, 22), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(content(), &press);
    ASSERT_EQ(panel.state(), State::collapsed);

    QApplication::sendEvent(content(), &enter);
    ASSERT_EQ(panel.state(), State::actions);
    QAbstractButton* improveButton = nullptr;
    for (QAbstractButton* b : content()->findChildren<QAbstractButton*>())
        if (b->text() == "Улучшить") improveButton = b;
    ASSERT_TRUE(improveButton);
    QPointer<QAbstractButton> pressed = improveButton;
    improveButton->click();  // no key: the error card replaces the bar
    EXPECT_TRUE(pressed) << "the bar was deleted inside its button's click";
    EXPECT_EQ(panel.state(), State::error);
    EXPECT_EQ(panel.texts(), QStringList{"Для «Улучшить» добавьте OpenAI API key в настройках Quick Reply."});
}

// The event tap reports a press on its own thread's schedule: a quick click may have pressed
// the button, and moved the panel to its next card, before the tap's mouse down arrives.
TEST_F(QuickActionsUITest, ALateReportOfAPressOnTheBarLeavesThePanel) {
    panel.show(selection(), {improve});
    panel.expand();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QWidget* bar = panel.window()->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QAbstractButton* improveButton = nullptr;
    for (QAbstractButton* b : bar->findChildren<QAbstractButton*>())
        if (b->text() == "Улучшить") improveButton = b;
    ASSERT_TRUE(improveButton);
    const QPoint local = improveButton->rect().center();
    const QPointF global = improveButton->mapToGlobal(QPointF(local));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(local), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(improveButton, &press);
    improveButton->click();  // no key: the error card comes up elsewhere
    ASSERT_EQ(panel.state(), State::error);
    const QPointF tapPoint(global.x(), 800 - global.y());
    ASSERT_FALSE(panel.contains(tapPoint, 0));
    controller.mouseDown(tapPoint);
    controller.mouseUp(tapPoint, 1);
    EXPECT_EQ(panel.state(), State::error);
    // A press anywhere else still ends it.
    controller.mouseDown({20, 700});
    EXPECT_EQ(panel.state(), State::hidden);
}

TEST_F(QuickActionsUITest, ClicksCountOnTheBeadButNotOnItsShadowPad) {
    panel.show(selection(), {improve});
    const QPointF centre = panel.frame().center();
    EXPECT_TRUE(panel.contains(centre, 0));
    EXPECT_FALSE(panel.contains(centre + QPointF(24, 0), 0));  // in the pad
    EXPECT_TRUE(panel.contains(centre + QPointF(24, 0), 8));
    panel.dismiss();
    EXPECT_FALSE(panel.contains(centre, 0));
}

TEST_F(QuickActionsUITest, EachStateKeepsItsOwnTimeAndLoadingNone) {
    struct Case {
        const char* name;
        std::function<void()> enter;
        double lives;
    } cases[] = {
        {"collapsed", [&] { panel.show(selection(), {improve}); }, 8.0},
        {"unfolded", [&] { panel.show(selection(), {improve}), panel.expand(); }, 12.0},
        {"folded back by a click", [&] { panel.show(selection(), {improve}), panel.expand(), panel.toggleExpanded(); }, 6.0},
        {"message", [&] { panel.show(selection(), {improve}), panel.showMessage("Скопировано", "Kate"); }, 1.5},
        {"error", [&] { panel.showError("нет", selection()); }, 12.0},
    };
    for (const Case& c : cases) {
        c.enter();
        env.advance(c.lives - 0.01);
        EXPECT_NE(panel.state(), State::hidden) << c.name;
        env.advance(0.02);
        EXPECT_EQ(panel.state(), State::hidden) << c.name;
        EXPECT_FALSE(panel.isVisible()) << c.name;
    }
    panel.show(selection(), {improve});
    panel.showLoading("Улучшить");
    env.advance(120);
    EXPECT_EQ(panel.state(), State::loading);
    EXPECT_EQ(panel.texts(), QStringList{"Улучшить"});
}

TEST_F(QuickActionsUITest, TheBarFoldsBackOnlyWhenThePointerHasLeftIt) {
    panel.show(selection(), {improve});
    panel.expand();
    screens.setMouse(panel.frame().topRight() + QPointF(5, 0));  // within 8 points
    panel.scheduleCollapse();
    env.advance(0.6);
    EXPECT_EQ(panel.state(), State::actions);
    screens.setMouse({5, 5});
    panel.scheduleCollapse();
    panel.cancelCollapse();  // the pointer came back
    env.advance(0.6);
    EXPECT_EQ(panel.state(), State::actions);
    panel.scheduleCollapse();
    env.advance(0.6);
    EXPECT_EQ(panel.state(), State::collapsed);
}

TEST_F(QuickActionsUITest, EscapeIsTakenOnlyWhileThePanelShows) {
    EXPECT_FALSE(panel.handleKeyDown(53));
    panel.show(selection(), {improve});
    EXPECT_EQ(tap.grabbed, (std::vector<sim::SimEventTap::Chord>{{53, 0}}));
    EXPECT_FALSE(panel.handleKeyDown(36));
    panel.showLoading("Улучшить");
    EXPECT_TRUE(panel.handleKeyDown(53));
    EXPECT_EQ(panel.state(), State::hidden);
    EXPECT_TRUE(tap.grabbed.empty());
}

TEST_F(QuickActionsUITest, AMessageAfterTheResultCardComesUpAtTheLastSelection) {
    panel.show(selection({300, 400}), {improve});
    QuickActionTransformResult result{"Исправлено", "привет мир", "ru", false, {}};
    panel.showResult(result, improve, selection({300, 400}));
    EXPECT_EQ(panel.state(), State::hidden);
    EXPECT_FALSE(panel.selection());
    panel.showMessage("Результат скопирован", "Kate");
    EXPECT_EQ(panel.frame(), QRectF(300 - 143, 400 - 72 - 10, 286, 72));
    // Near the bottom of the screen the card goes above the anchor.
    panel.showError("нет", selection({300, 60}));
    EXPECT_EQ(panel.frame(), QRectF(300 - 195, 60 + 16, 390, 112));
}

TEST_F(QuickActionsUITest, TheMoreMenuEndsWithSettingsAndTheOptOut) {
    panel.show(selection(), {improve, QuickActionID::translate});
    panel.showMoreMenu(*panel.selection());
    ASSERT_TRUE(panel.moreMenu());
    QStringList titles;
    for (QAction* a : panel.moreMenu()->actions()) titles << (a->isSeparator() ? "—" : a->text());
    EXPECT_EQ(titles, (QStringList{"Сократить", "Деловой", "Дружелюбнее", "Как носитель", "—", "Настройки AI…",
                                   "Не показывать в Kate"}));
    panel.moreMenu()->actions().last()->trigger();
    EXPECT_EQ(Defaults::shared().stringListValue("quickActions.disabledApps"), QStringList{"org.kde.kate"});
    EXPECT_EQ(panel.state(), State::hidden);
}

}  // namespace
