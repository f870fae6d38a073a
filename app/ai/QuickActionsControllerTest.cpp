#include "ai/QuickActionsFixture.h"
#include "ScopedEnv.h"

#include <gtest/gtest.h>

using namespace murmelo;
using State = QuickActionPanelController::State;

namespace {

class QuickActionsControllerTest : public test::QuickActionsFixture {
protected:
    bool shown() const { return panel.state() != State::hidden; }
};

TEST(QuickActionsControllerRules, GesturesKeysModelsAndDragBounds) {
    using C = QuickActionsController;
    EXPECT_TRUE(C::shouldProbeSelection(4.0, 1));
    EXPECT_FALSE(C::shouldProbeSelection(3.9, 1));
    EXPECT_TRUE(C::shouldProbeSelection(0, 2));
    for (qint64 key : {115, 116, 119, 121, 123, 124, 125, 126}) EXPECT_TRUE(C::isSelectionNavigationKey(key)) << key;
    EXPECT_FALSE(C::isSelectionNavigationKey(0));
    EXPECT_EQ(C::model(QuickActionID::translate), MURMELO_AI_FAST_MODEL);
    EXPECT_EQ(C::model(QuickActionID::improve), MURMELO_AI_QUALITY_MODEL);
    EXPECT_FALSE(C::dragBounds(std::nullopt, {10, 10}));
    EXPECT_FALSE(C::dragBounds(QPointF(10, 100), {200, 102}));  // along one line
    EXPECT_EQ(C::dragBounds(QPointF(200, 100), {10, 140}), QRectF(10, 92, 190, 56));
}

TEST(QuickActionsControllerRules, TheShownResultCarriesItsNotes) {
    QuickActionSelection plain;
    plain.text = "встреча в пятницу";
    const QuickActionTransformResult clean{"Улучшено", "Встреча в пятницу.", "ru", false, {}};
    EXPECT_EQ(QuickActionsController::amended(clean, plain), clean);

    QuickActionSelection truncated = plain;
    truncated.wasTruncatedForAI = true;
    const QuickActionTransformResult withNumber{"Улучшено", "Встреча в пятницу в 42.", "ru", false, {}};
    const auto shown = QuickActionsController::amended(withNumber, truncated);
    EXPECT_TRUE(shown.needsConfirmation);
    EXPECT_EQ(shown.warning, "Проверьте новые числа: 42. Для AI-действия использованы первые 20 000 символов выделения.");
    const QuickActionTransformResult flagged{"Улучшено", "Встреча в пятницу.", "ru", true, {}};
    EXPECT_EQ(QuickActionsController::amended(flagged, plain).warning, "Проверьте отмеченные моделью сведения.");
}

TEST_F(QuickActionsControllerTest, MouseGesturesProbeAfterThePause) {
    struct Case {
        const char* name;
        std::function<void()> gesture;
        bool probes;
    } cases[] = {
        {"a drag of exactly 4 points", [&] { drag({300, 590}, {304, 590}); }, true},
        {"3.9 points with one click", [&] { drag({300, 590}, {303.9, 590}); }, false},
        {"a double click without moving", [&] { click({300, 590}, 2); }, true},
        {"a mouse up with no mouse down, single", [&] { controller.mouseUp({300, 590}, 1); }, false},
    };
    field->select(0, 6);
    for (const Case& c : cases) {
        controller.dismiss();
        c.gesture();
        EXPECT_FALSE(shown()) << c.name << ": nothing before the pause";
        env.advance(0.12);
        EXPECT_EQ(shown(), c.probes) << c.name;
    }
}

TEST_F(QuickActionsControllerTest, KeysKeepOrDismissTheBar) {
    field->select(0, 6);
    struct Case {
        const char* name;
        qint64 key;
        quint64 flags;
        bool keeps;
        bool probesOnKeyUp;
    } cases[] = {
        {"Shift-Right", 124, KeyFlags::shift, true, true},
        {"Command-A", 0, KeyFlags::command, true, true},
        {"Shift-A", 0, KeyFlags::shift, false, false},
        {"a plain arrow", 124, 0, false, false},
    };
    for (const Case& c : cases) {
        doubleClickSelect(0, 6);
        ASSERT_TRUE(shown()) << c.name;
        EXPECT_FALSE(controller.keyDown(c.key, c.flags, false)) << c.name;
        EXPECT_EQ(shown(), c.keeps) << c.name;
        controller.dismiss();
        controller.keyUp(c.key, c.flags, false);
        env.advance(0.12);
        EXPECT_EQ(shown(), c.probesOnKeyUp) << c.name;
    }
    // The program's own keys neither dismiss nor probe.
    doubleClickSelect(0, 6);
    EXPECT_FALSE(controller.keyDown(124, 0, true));
    controller.keyUp(0, KeyFlags::command, true);
    EXPECT_TRUE(shown());
}

TEST_F(QuickActionsControllerTest, AClickOnTheBarLeavesItAlone) {
    doubleClickSelect(0, 6);
    ASSERT_TRUE(shown());
    const QPointF onBead = panel.frame().center();
    controller.mouseDown(onBead);
    controller.mouseUp(onBead, 2);
    env.advance(0.5);
    EXPECT_EQ(panel.state(), State::collapsed);
}

TEST_F(QuickActionsControllerTest, TheSwitchOffShowsNothing) {
    Defaults::shared().set("quickActions.enabled", false);
    doubleClickSelect(0, 6);
    EXPECT_FALSE(shown());
    setQuickActionsEnabled(true);
    doubleClickSelect(0, 6);
    EXPECT_TRUE(shown());
    setQuickActionsEnabled(false);  // switching off also ends what shows
    EXPECT_FALSE(shown());
}

TEST_F(QuickActionsControllerTest, AnOptedOutApplicationIsNeverReadNorSentACopyKey) {
    Defaults::shared().set("quickActions.disabledApps", QStringList{"org.kde.kate"});
    field->exposesText = false;  // accessibility gives nothing: the copy would come next
    doubleClickSelect(0, 6);
    env.advance(1);
    EXPECT_FALSE(shown());
    EXPECT_EQ(neighbours.copyKeys, 0);
    EXPECT_TRUE(poster.posted().empty());
}

TEST_F(QuickActionsControllerTest, ADragAcrossLinesGivesTheSelectionItsDragBounds) {
    field->frame.reset();  // the application reports no bounds
    field->select(0, 6);
    drag({120, 600}, {300, 560});
    env.advance(0.12);
    ASSERT_TRUE(panel.selection());
    EXPECT_EQ(panel.selection()->selectionBounds, QRectF(120, 552, 180, 56));
    drag({120, 590}, {300, 590});
    env.advance(0.12);
    ASSERT_TRUE(panel.selection());
    EXPECT_FALSE(panel.selection()->selectionBounds);
}

TEST_F(QuickActionsControllerTest, LocalActionsAndWhatTheyRecord) {
    pasteboard.copyFromOtherApp("прежнее");
    clipboard.poll();
    doubleClickSelect(0, 6);
    ASSERT_TRUE(panel.selection());
    // An unknown single word is offered for the dictionary.
    EXPECT_EQ(panel.barActions(), (QList<QuickActionID>{QuickActionID::copy, QuickActionID::improve,
                                                         QuickActionID::translate, QuickActionID::addToDictionary,
                                                         QuickActionID::more}));
    const QuickActionSelection s = *panel.selection();
    controller.perform(QuickActionID::addToDictionary, s);
    EXPECT_EQ(panel.texts(), (QStringList{"Добавлено в словарь", "слов 1, в подсказке распознавания 1"}));
    EXPECT_TRUE(env.logContains("личный словарь: + "));
    controller.perform(QuickActionID::addToDictionary, s);
    EXPECT_EQ(panel.texts().value(0), "Уже в словаре");
    QuickActionSelection twoWords = s;
    twoWords.text = "превет мир";
    controller.perform(QuickActionID::addToDictionary, twoWords);
    EXPECT_EQ(panel.texts(), (QStringList{"Это не слово", "В словарь берётся одно слово без цифр"}));

    controller.perform(QuickActionID::copy, s);
    EXPECT_EQ(pasteboard.string(), "превет");
    EXPECT_EQ(panel.texts(), (QStringList{"Скопировано", "org.kde.kate"}));
    ASSERT_FALSE(clipboard.items().empty());
    EXPECT_EQ(clipboard.items().front().text, "превет");
    EXPECT_EQ(neighbours.quickActionsNoted, 0);
}

TEST_F(QuickActionsControllerTest, TheSmokeModeBlocksEveryAction) {
    test::ScopedEnv smoke("MURMELO_QUICK_ACTIONS_SMOKE", QByteArray("1"));
    doubleClickSelect(0, 6);
    ASSERT_TRUE(panel.selection());
    for (QuickActionID a : {QuickActionID::copy, QuickActionID::improve}) {
        controller.perform(a, *panel.selection());
        EXPECT_EQ(panel.texts(), (QStringList{"Тестовый режим", "Действие не выполнялось"}));
    }
    EXPECT_NE(pasteboard.string(), "превет");
}

TEST_F(QuickActionsControllerTest, CloudActionsNeedAKeyAndTheCloudSwitch) {
    doubleClickSelect(0, 6);
    const QuickActionSelection s = *panel.selection();
    controller.perform(QuickActionID::improve, s);
    EXPECT_EQ(panel.state(), State::error);
    EXPECT_EQ(panel.texts(), QStringList{"Для «Улучшить» добавьте OpenAI API key в настройках Quick Reply."});
    EXPECT_TRUE(env.logContains("Quick Actions: «Улучшить» не выполнено - облако включено, но ключа нет"));
    storePersonal("sk-test-0123456789abcdef");
    setQuickActionsCloudEnabled(false);
    EXPECT_TRUE(env.logContains("Quick Actions: облачные действия выключены — всё остаётся на машине"));
    controller.perform(QuickActionID::shorter, s);
    EXPECT_EQ(panel.texts(), QStringList{"«Сократить» работает только через облако, а оно выключено в настройках."});
    EXPECT_FALSE(controller.hasActiveTask());
}

TEST_F(QuickActionsControllerTest, ANewSelectionEndsTheLoadingActionItReplaces) {
    storePersonal("sk-test-0123456789abcdef");
    // A service that never answers keeps the action loading.
    test::ScopedEnv host(AIProvider::HOST_ENVIRONMENT, QByteArray("http://127.0.0.1:9"));
    doubleClickSelect(0, 6);
    controller.perform(QuickActionID::improve, *panel.selection());
    ASSERT_EQ(panel.state(), State::loading);
    ASSERT_TRUE(controller.hasActiveTask());
    // Shift-Right extends the selection: no dismissal on the key down, a new detection on the up.
    controller.keyDown(124, KeyFlags::shift, false);
    controller.keyUp(124, KeyFlags::shift, false);
    EXPECT_FALSE(controller.hasActiveTask());
    EXPECT_NE(panel.state(), State::loading);
    env.advance(0.12);
    EXPECT_EQ(panel.state(), State::collapsed);
}

TEST_F(QuickActionsControllerTest, ApplyPastesOnlyIntoTheSelectionsOwnApplication) {
    field->select(0, 6);
    doubleClickSelect(0, 6);
    const QuickActionSelection s = *panel.selection();
    const QuickActionTransformResult result{"Исправлено", "привет", "ru", false, {}};
    pasteboard.copyFromOtherApp("мой буфер");
    clipboard.poll();

    // Another application came to the front, and the window manager refuses to give it back.
    auto other = desktop.addField("org.gnome.gedit", "AXTextArea", "чужой текст");
    desktop.focus("org.gnome.gedit", other);
    desktop.app("org.kde.kate")->refusesActivation = true;
    controller.applyResult(result, s);
    env.advance(0.12);
    EXPECT_EQ(other->value, "чужой текст");
    EXPECT_EQ(field->value, "превет мир");
    EXPECT_EQ(pasteboard.string(), "привет");
    EXPECT_EQ(panel.texts(), (QStringList{"Выделение изменилось", "Результат скопирован — вставьте вручную"}));

    // Back in front with the same selection: the paste replaces it.
    desktop.app("org.kde.kate")->refusesActivation = false;
    controller.applyResult(result, s);
    env.advance(5);
    EXPECT_EQ(field->value, "привет мир");
    EXPECT_TRUE(env.logContains("Quick Actions: пользователь подтвердил замену (6 симв.)"));

    desktop.quit("org.kde.kate");
    controller.applyResult(result, s);
    EXPECT_EQ(panel.texts(), QStringList{"Исходное приложение уже закрыто."});
}

}  // namespace
