#include "input/GlobalEventTap.h"

#include "input/DeliveryAudit.h"
#include "ui/AppState.h"
#include "input/HotkeyDef.h"
#include "input/InputTestFixture.h"
#include "input/OwnedChords.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TapConsumers.h"
#include "input/TapFuse.h"
#include "sim/SimEventTap.h"

#include <QAction>

namespace murmelo::test {
namespace {

constexpr quint64 kCommand = 0x100000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kShift = 0x20000;

// Consumers that write down what the dispatcher told them.
struct Recorder : TapDictation, TapTypingStats, TapLayoutSwitcher, TapQuickActions, TapPolish {
    QStringList calls;
    std::set<qint64> switcherSwallows;
    std::set<qint64> quickActionsConsume;
    bool cardIsKey = false;

    void startRec(bool command) override { calls << (command ? "startRec(command)" : "startRec"); }
    void stopRec() override { calls << "stopRec"; }
    void note(quint64, qint64 keyCode, quint64) override { calls << QStringLiteral("stats %1").arg(keyCode); }
    bool handleKeyDown(const InputEvent& e) override {
        calls << QStringLiteral("switcher %1%2").arg(e.keyCode).arg(e.userData == SYNTHETIC_MARK ? " own" : "");
        return switcherSwallows.count(e.keyCode) > 0;
    }
    void noteRightShift(bool down, bool polishBound) override {
        calls << QStringLiteral("rightShift %1 %2").arg(down).arg(polishBound);
    }
    void notePolishDown() override { calls << "polishDown"; }
    void notePolishUp() override { calls << "polishUp"; }
    bool keyDown(qint64 keyCode, quint64, bool synthetic) override {
        calls << QStringLiteral("qa %1%2").arg(keyCode).arg(synthetic ? " own" : "");
        return quickActionsConsume.count(keyCode) > 0;
    }
    void dismiss() override { calls << "qa dismiss"; }
    bool resultCardIsKey() const override { return cardIsKey; }
    void revertLast() override { calls << "revert"; }
};

class GlobalEventTapTest : public SimInputTest {
protected:
    GlobalEventTapTest() : tap(desktop) {
        AppState::shared().tapFuseItem = &fuseItem;
        resetHotkeyCacheForTesting();
        TapFuse::reset();
        SwallowedKeys::reset();
        GlobalEventTap::resetForTesting();
        tap.attach(keys);
    }
    ~GlobalEventTapTest() override {
        GlobalEventTap::resetForTesting();
        TapFuse::reset();
        SwallowedKeys::reset();
        AppState::shared().tapFuseItem = nullptr;
    }
    void install() {
        ASSERT_TRUE(GlobalEventTap::installTap());
        GlobalEventTap::startTapGuard();
    }
    QStringList takeCalls() {
        env.runPending();
        QStringList c = rec.calls;
        rec.calls.clear();
        return c;
    }

    sim::SimEventTap tap;
    Recorder rec;
    ScopedService<EventTap> tapScope_{tap};
    ScopedService<TapDictation> dictationScope_{rec};
    ScopedService<TapTypingStats> statsScope_{rec};
    ScopedService<TapLayoutSwitcher> switcherScope_{rec};
    ScopedService<TapQuickActions> quickActionsScope_{rec};
    ScopedService<TapPolish> polishScope_{rec};
    // The breaker's line of the status menu.
    QAction fuseItem;
};

TEST_F(GlobalEventTapTest, InstallLogsTheHotkeysAndRefusalIsRetriedByTheGuard) {
    tap.refuseCreation = true;
    EXPECT_FALSE(GlobalEventTap::installTap());
    GlobalEventTap::startTapGuard();
    env.advance(2.0);
    EXPECT_EQ(env.logText().count(QStringLiteral("НЕ удалось создать event-tap (нет прав Accessibility/Input Monitoring?)")), 2);
    tap.refuseCreation = false;
    env.advance(2.0);
    EXPECT_TRUE(tap.isEnabled());
    EXPECT_TRUE(env.logContains(QStringLiteral("event-tap установлен · диктовка: правый Ctrl · команды: правый Alt · полировка: правый Shift (полировка ВЫКЛ)")));
    env.advance(10.0);
    EXPECT_EQ(tap.creations, 1);
}

// Right Ctrl (54 in the core's codes) starts and stops a dictation; a held left Ctrl of the
// same kind does not keep it running; modifier changes are never swallowed.
TEST_F(GlobalEventTapTest, DictationHotkeyStartsAndStopsPerKey) {
    install();
    EXPECT_TRUE(tap.flagsChanged(54, kCommand));
    EXPECT_TRUE(tap.flagsChanged(54, 0));
    EXPECT_EQ(takeCalls(), (QStringList{"startRec", "stopRec"}));

    EXPECT_TRUE(tap.flagsChanged(55, kCommand));       // left held
    EXPECT_TRUE(tap.flagsChanged(54, kCommand));       // right down
    EXPECT_TRUE(tap.flagsChanged(54, kCommand));       // right up, left still holds the flag
    EXPECT_EQ(takeCalls(), (QStringList{"qa dismiss", "startRec", "stopRec"}));
    EXPECT_TRUE(tap.flagsChanged(55, 0));
    EXPECT_TRUE(takeCalls().isEmpty());

    // The command hotkey (right Alt, 61) starts a command dictation.
    tap.flagsChanged(61, kOption);
    tap.flagsChanged(61, 0);
    EXPECT_EQ(takeCalls(), (QStringList{"startRec(command)", "stopRec"}));
}

TEST_F(GlobalEventTapTest, RightShiftRoutes) {
    install();
    tap.flagsChanged(60, kShift);
    tap.flagsChanged(60, 0);
    EXPECT_EQ(takeCalls(), (QStringList{"rightShift 1 1", "rightShift 0 1"}));
    SecureInput::apply(true);
    tap.flagsChanged(60, kShift);
    tap.flagsChanged(60, 0);
    EXPECT_TRUE(takeCalls().isEmpty());
    EXPECT_EQ(env.logText().count(QStringLiteral("скрытый ввод: двойной ⇧ разоружён")), 1);
    // The dictation hotkey keeps working under secure input.
    tap.flagsChanged(54, kCommand);
    EXPECT_EQ(takeCalls(), QStringList{"startRec"});
}

TEST_F(GlobalEventTapTest, RightShiftGestureTable) {
    using K = RightShiftGesture::Route::Kind;
    using R = RightShiftGesture::Route;
    struct Case {
        qint64 key;
        bool shift;
        qint64 dictation;
        std::optional<qint64> command, polish;
        bool polishDown, secure;
        R want;
    };
    const std::vector<Case> cases = {
        {60, true, 60, 61, std::nullopt, false, false, R{}},
        {60, true, 54, 60, std::nullopt, false, true, R{}},
        {60, true, 54, 61, 60, false, true, R{K::suppressedSecureInput}},
        {60, true, 54, 61, 60, false, false, R{K::rightShift, true, true}},
        {60, false, 54, 61, 63, false, false, R{K::rightShift, false, false}},
        {63, false, 54, 61, std::nullopt, true, false, R{}},
        {55, false, 54, 61, 63, true, false, R{}},
        {63, false, 54, 61, 63, true, true, R{K::suppressedSecureInput}},
        {63, false, 54, 61, 63, true, false, R{K::polish, true}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        EXPECT_EQ(RightShiftGesture::route(c.key, c.shift, c.dictation, c.command, c.polish, c.polishDown, c.secure), c.want);
    }
}

// The program's own keys reach Quick Actions and the switcher but are not typing.
TEST_F(GlobalEventTapTest, OwnKeysAreNotTypingButReachTheSwitcher) {
    install();
    const quint64 typedBefore = DeliveryAudit::typedGen();
    auto field = frontField(QStringLiteral("com.example.notes"));
    KeyEvent own{0, true, 0, QStringLiteral("ф"), SYNTHETIC_MARK};
    keys.post(own);
    own.keyDown = false;
    keys.post(own);
    EXPECT_EQ(takeCalls(), (QStringList{"qa 0 own", "switcher 0 own"}));
    EXPECT_EQ(DeliveryAudit::typedGen(), typedBefore);
    EXPECT_EQ(field->value, QStringLiteral("ф"));

    tap.keyDown(1, QStringLiteral("ы"));
    EXPECT_EQ(takeCalls(), (QStringList{"qa 1", "stats 1", "switcher 1"}));
    EXPECT_EQ(DeliveryAudit::typedGen(), typedBefore + 1);
    EXPECT_EQ(field->value, QStringLiteral("фы"));
}

TEST_F(GlobalEventTapTest, SwallowedKeyNeverReachesTheFieldAndItsKeyUpFollowsWithinTwoSeconds) {
    install();
    auto field = frontField(QStringLiteral("com.example.notes"));
    rec.switcherSwallows = {12};
    EXPECT_FALSE(tap.keyDown(12, QStringLiteral("q")));
    EXPECT_EQ(field->value, QString());
    env.advance(2.0);
    EXPECT_FALSE(tap.keyUp(12));

    EXPECT_FALSE(tap.keyDown(12, QStringLiteral("q")));
    env.advance(2.1);
    EXPECT_TRUE(tap.keyUp(12));

    // An own key up always passes, even after a swallowed down of the same key.
    EXPECT_FALSE(tap.keyDown(12, QStringLiteral("q")));
    EXPECT_TRUE(keys.post(KeyEvent{12, false, 0, {}, SYNTHETIC_MARK}));
    EXPECT_EQ(SwallowedKeys::trackedCount(), 1);
    // The guard sweeps stale entries.
    env.advance(4.0);
    EXPECT_EQ(SwallowedKeys::trackedCount(), 0);
}

TEST_F(GlobalEventTapTest, RevertChordAndResultCard) {
    install();
    EXPECT_FALSE(tap.keyDown(6, {}, kCommand | kOption | kShift));
    EXPECT_FALSE(tap.keyUp(6));
    EXPECT_EQ(takeCalls(), (QStringList{"qa 6", "revert"}));

    rec.cardIsKey = true;
    rec.switcherSwallows = {1};
    EXPECT_TRUE(tap.keyDown(1, QStringLiteral("s")));
    EXPECT_TRUE(takeCalls().isEmpty());
    tap.flagsChanged(54, kCommand);
    EXPECT_EQ(takeCalls(), QStringList{"startRec"});
}

TEST_F(GlobalEventTapTest, TheRevertChordIsNamedToTheTapAndAChordHeldElsewhereIsAConflict) {
    const std::pair<int, quint64> plain{6, kCommand | kOption}, shifted{6, kCommand | kOption | kShift};
    tap.heldByOthers = {shifted};
    install();
    EXPECT_EQ(tap.grabbed, (std::vector<std::pair<int, quint64>>{plain}));
    EXPECT_EQ(OwnedChords::conflicts(), QStringList{"Ctrl+Alt+Shift+Z"});
    const QString warning = QStringLiteral(
        "⚠ сочетание Ctrl+Alt+Shift+Z держит другая программа — откат полировки дойдёт и до приложения в фокусе");
    EXPECT_TRUE(env.logContains(warning));

    // A new tap names them again; the same conflict is not logged twice, its end is.
    ASSERT_TRUE(GlobalEventTap::installTap());
    EXPECT_EQ(env.logText().count(warning), 1);
    tap.heldByOthers.clear();
    ASSERT_TRUE(GlobalEventTap::installTap());
    EXPECT_EQ(tap.grabbed, (std::vector<std::pair<int, quint64>>{plain, shifted}));
    EXPECT_TRUE(OwnedChords::conflicts().isEmpty());
    EXPECT_TRUE(OwnedChords::conflictLine().isEmpty());
    EXPECT_TRUE(env.logContains(QStringLiteral("сочетания программы: все наши")));
}

TEST_F(GlobalEventTapTest, SmokeModeKeepsHotkeysOffAndKeysUntouched) {
    install();
    qputenv("MURMELO_QUICK_ACTIONS_SMOKE", "1");
    rec.switcherSwallows = {1};
    tap.flagsChanged(54, kCommand);
    tap.flagsChanged(54, 0);
    EXPECT_TRUE(tap.keyDown(1, QStringLiteral("s"), kCommand));
    qunsetenv("MURMELO_QUICK_ACTIONS_SMOKE");
    EXPECT_EQ(takeCalls(), QStringList{"qa 1"});
}

TEST_F(GlobalEventTapTest, QuickActionsConsumeBeforeEverythingElse) {
    install();
    rec.quickActionsConsume = {53};
    EXPECT_FALSE(tap.keyDown(53));
    EXPECT_FALSE(tap.keyUp(53));
    EXPECT_EQ(takeCalls(), QStringList{"qa 53"});
}

// Three time-out switch-offs within 60 s: light pause (keys pass untouched, hotkeys work);
// an episode during it: off pause, brought back by the guard after 180 s; the third
// episode burns the breaker out for the rest of the process.
TEST_F(GlobalEventTapTest, BreakerEpisodesInVirtualTime) {
    install();
    auto timeouts = [&](int count, double apart) {
        for (int i = 0; i < count; ++i) {
            if (i) env.advance(apart);
            tap.disableByTimeout();
        }
    };
    timeouts(2, 10.0);
    EXPECT_TRUE(tap.isEnabled());
    EXPECT_TRUE(env.logContains(QStringLiteral("tap отвалился по таймауту (1/3 за 60 с) - поднимаю")));
    EXPECT_TRUE(env.logContains(QStringLiteral("tap отвалился по таймауту (2/3 за 60 с) - поднимаю")));
    env.advance(10.0);
    tap.disableByTimeout();
    EXPECT_TRUE(tap.isEnabled());
    EXPECT_EQ(TapFuse::menuLine(),
              QStringLiteral("Правки при печати на паузе (диктовка работает): приложение подвешивало ввод"));
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "⚠ ПРАВКИ ПРИ ПЕЧАТИ НА ПАУЗЕ 180 с: 3 зависания за 60 с. Перехват оставлен - диктовка и хоткеи работают, "
        "тяжёлые слои пропускаются (эпизод 1/3)")));
    EXPECT_TRUE(fuseItem.isVisible());
    EXPECT_EQ(fuseItem.text(), TapFuse::menuLine().value_or(QString()));

    rec.switcherSwallows = {1};
    EXPECT_TRUE(tap.keyDown(1, QStringLiteral("x")));
    tap.flagsChanged(54, kCommand);
    tap.flagsChanged(54, 0);
    EXPECT_EQ(takeCalls(), (QStringList{"startRec", "stopRec"}));

    // Second episode while paused: the tap stays off for 180 s.
    takeCalls();
    timeouts(3, 1.0);
    EXPECT_FALSE(tap.isEnabled());
    EXPECT_EQ(TapFuse::menuLine(), QStringLiteral("Перехват снят на несколько минут: не работают ни правки, ни диктовка"));
    env.advance(170.0);
    EXPECT_FALSE(tap.isEnabled());
    env.advance(12.0);
    EXPECT_TRUE(tap.isEnabled());
    EXPECT_TRUE(env.logContains(QStringLiteral("перехват возвращён после паузы - слежу дальше")));
    EXPECT_TRUE(env.logContains(QStringLiteral("guard: tap был выключен — поднял")));
    EXPECT_EQ(TapFuse::menuLine(), std::nullopt);

    // Third episode: burned out; nothing enables the tap again.
    timeouts(3, 1.0);
    EXPECT_TRUE(TapFuse::burnedOut());
    EXPECT_FALSE(tap.isEnabled());
    EXPECT_TRUE(env.logContains(QStringLiteral("⚠ ПЕРЕХВАТ СНЯТ ДО ПЕРЕЗАПУСКА: 3 эпизода зависаний. ")));
    EXPECT_EQ(TapFuse::menuLine(), QStringLiteral("Перехват снят до перезапуска: не работают ни правки, ни диктовка"));
    tap.setEnabled(true);
    tap.disableByUserInput();
    env.advance(600.0);
    EXPECT_FALSE(tap.isEnabled());
}

TEST(TapFuseTest, EpisodeWindowAndLightPauseEnd) {
    TestEnvironment env;
    TapFuse::reset();
    // First and last exactly 60 s apart: an episode.
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 100.0));
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 130.0));
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 160.0));
    EXPECT_EQ(TapFuse::episodes(), 1);
    EXPECT_TRUE(TapFuse::heavyLayersSuspended(339.9));
    EXPECT_FALSE(TapFuse::heavyLayersSuspended(340.0));
    EXPECT_TRUE(env.logContains(QStringLiteral("правки при печати вернулись после паузы - слежу дальше")));
    // 61 s apart: the oldest drops out and the count stays at 2.
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 400.0));
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 430.0));
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 461.0));
    EXPECT_TRUE(env.logContains(QStringLiteral("(2/3 за 60 с)")));
    EXPECT_EQ(TapFuse::episodes(), 1);
    // An episode after the light pause ended is a new light pause, not an off pause.
    EXPECT_TRUE(TapFuse::shouldReEnable(TapFuse::Reason::timeout, 470.0));
    EXPECT_TRUE(TapFuse::mayRearm(470.0));
    EXPECT_EQ(TapFuse::episodes(), 2);
    TapFuse::reset();
}

TEST(SwallowedKeysTest, LaterSwallowKeepsOneEntryWithTheLaterDeadline) {
    SwallowedKeys::reset();
    SwallowedKeys::noteSwallowedDown(5, 10.0);
    SwallowedKeys::noteSwallowedDown(5, 11.0);
    EXPECT_EQ(SwallowedKeys::trackedCount(), 1);
    EXPECT_TRUE(SwallowedKeys::shouldSwallowUp(5, 13.0));
    EXPECT_FALSE(SwallowedKeys::shouldSwallowUp(5, 13.0));
    SwallowedKeys::reset();
}

}  // namespace
}  // namespace murmelo::test
