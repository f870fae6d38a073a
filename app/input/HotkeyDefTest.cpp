#include "input/HotkeyDef.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace murmelo::test {
namespace {

class HotkeyDefTest : public ::testing::Test {
protected:
    HotkeyDefTest() { resetHotkeyCacheForTesting(); }
    ~HotkeyDefTest() override { resetHotkeyCacheForTesting(); }
    void storeCode(const QString& key, qint64 code) { env.defaults().set(key, QVariant::fromValue<qlonglong>(code)); }
    static qint64 codeOf(const std::optional<HotkeyDef>& d) { return d ? d->code : -99; }

    TestEnvironment env;
};

TEST_F(HotkeyDefTest, StoredCodesResolveWithDefaultsAndConflicts) {
    struct Case {
        const char* name;
        std::optional<QVariant> dictation, command, polish;
        qint64 wantDictation, wantCommand, wantPolish;  // -99 means absent
    };
    const std::vector<Case> cases = {
        {"nothing stored", {}, {}, {}, 54, 61, 60},
        {"dictation 62 is right Command", QVariant(62), {}, {}, 54, 61, 60},
        {"dictation 7 is right Command", QVariant(7), {}, {}, 54, 61, 60},
        {"dictation left Command", QVariant(55), {}, {}, 55, 61, 60},
        {"command 62 reads as 61", {}, QVariant(62), {}, 54, 61, 60},
        {"command not an integer", {}, QVariant(QStringLiteral("61x")), {}, 54, 61, 60},
        {"command off", {}, QVariant(-1), {}, 54, -99, 60},
        {"command unlisted", {}, QVariant(12), {}, 54, -99, 60},
        {"command yields to dictation", QVariant(61), QVariant(61), {}, 61, -99, 60},
        {"polish yields to dictation", QVariant(60), {}, QVariant(60), 60, 61, -99},
        {"polish yields to command", {}, QVariant(60), QVariant(60), 54, 60, -99},
        {"command off frees right Option for polish", {}, QVariant(-1), QVariant(61), 54, -99, 61},
        {"polish 62 reads as 60", {}, {}, QVariant(62), 54, 61, 60},
        {"polish Fn", {}, {}, QVariant(63), 54, 61, 63},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& k : {HotkeyKeys::dictation, HotkeyKeys::command, HotkeyKeys::polish}) env.defaults().remove(k);
        if (c.dictation) env.defaults().set(HotkeyKeys::dictation, *c.dictation);
        if (c.command) env.defaults().set(HotkeyKeys::command, *c.command);
        if (c.polish) env.defaults().set(HotkeyKeys::polish, *c.polish);
        EXPECT_EQ(currentHotkey().code, c.wantDictation);
        EXPECT_EQ(codeOf(currentCommandHotkey()), c.wantCommand);
        EXPECT_EQ(codeOf(currentPolishHotkey()), c.wantPolish);
    }
}

TEST_F(HotkeyDefTest, OptionsCarryTheirMasksAndNames) {
    ASSERT_EQ(HOTKEY_OPTIONS().size(), 5u);
    EXPECT_EQ(HOTKEY_OPTIONS()[0], (HotkeyDef{54, 0x100000, QStringLiteral("правый Ctrl")}));
    EXPECT_EQ(HOTKEY_OPTIONS()[3], (HotkeyDef{55, 0x100000, QStringLiteral("левый Ctrl")}));
    EXPECT_EQ(HOTKEY_OPTIONS()[4], (HotkeyDef{63, 0x800000, QStringLiteral("Fn (🌐)")}));
}

TEST_F(HotkeyDefTest, NewDictationKeySwitchesTheCommandKeyOffAndBack) {
    storeCode(HotkeyKeys::command, 61);
    EXPECT_EQ(activeHotkey().code, 54);
    setHotkey(61);
    EXPECT_EQ(activeHotkey().code, 61);
    EXPECT_FALSE(activeCommandHotkey());
    EXPECT_EQ(commandHotkeyName(), QStringLiteral("выключено"));
    EXPECT_TRUE(env.logContains(QStringLiteral("горячая клавиша → правый Alt")));
    EXPECT_TRUE(env.logContains(QStringLiteral("клавиша команд → выключена")));
    setHotkey(54);
    EXPECT_EQ(codeOf(activeCommandHotkey()), 61);
    EXPECT_EQ(env.defaults().integerValue(HotkeyKeys::command), 61);
    EXPECT_TRUE(env.logContains(QStringLiteral("клавиша команд → правый Alt")));
}

TEST_F(HotkeyDefTest, PolishKeyTakenByDictationIsAbsent) {
    setHotkey(60);
    EXPECT_FALSE(activePolishHotkey());
    EXPECT_EQ(polishHotkeyName(), QStringLiteral("нет"));
    EXPECT_TRUE(env.logContains(QStringLiteral("клавиша полировки: нет (выключена или занята)")));
}

TEST_F(HotkeyDefTest, SettersReplaceRightControlByTheirDefault) {
    setHotkey(62);
    setCommandHotkey(62);
    setPolishHotkey(62);
    EXPECT_EQ(env.defaults().integerValue(HotkeyKeys::dictation), 54);
    EXPECT_EQ(env.defaults().integerValue(HotkeyKeys::command), 61);
    EXPECT_EQ(env.defaults().integerValue(HotkeyKeys::polish), 60);
    disablePolishHotkey();
    EXPECT_EQ(env.defaults().integerValue(HotkeyKeys::polish), -1);
    EXPECT_FALSE(activePolishHotkey());
    disableCommandHotkey();
    EXPECT_FALSE(activeCommandHotkey());
}

TEST_F(HotkeyDefTest, CommandKeyEnabledToggleRestoresThePreviousCode) {
    setCommandHotkey(63);
    setCommandHotkeyEnabled(false);
    EXPECT_EQ(env.defaults().integerValue(HotkeyKeys::command), -1);
    EXPECT_FALSE(activeCommandHotkey());
    setCommandHotkeyEnabled(true);
    EXPECT_EQ(codeOf(activeCommandHotkey()), 63);

    env.defaults().remove(HotkeyKeys::commandLastEnabled);
    disableCommandHotkey();
    setCommandHotkeyEnabled(true);
    EXPECT_EQ(codeOf(activeCommandHotkey()), 61);
}

TEST_F(HotkeyDefTest, CachedHotkeysIgnoreOutsideChangesUntilRefreshed) {
    EXPECT_EQ(codeOf(activePolishHotkey()), 60);
    storeCode(HotkeyKeys::polish, 63);
    EXPECT_EQ(codeOf(activePolishHotkey()), 60);
    refreshPolishHotkey();
    EXPECT_EQ(codeOf(activePolishHotkey()), 63);
    EXPECT_TRUE(env.logContains(QStringLiteral("клавиша полировки: Fn (🌐)")));
}

}  // namespace
}  // namespace murmelo::test

namespace murmelo::test {
namespace {

// Key by key: a held left modifier of the same kind never turns the release of the
// hotkey's own key into a press.
TEST(HotkeyKeyStateTest, PressAndReleaseAreDecidedPerKey) {
    const HotkeyDef rightCommand{54, 0x100000, QStringLiteral("правый Ctrl")};
    struct Step {
        qint64 keyCode;
        quint64 flags;
        std::optional<bool> hotkeyDown;  // absent: another key, not asked
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"plain press and release", {{54, 0x100000, true}, {54, 0, false}}},
        {"left held, right pressed and released", {{55, 0x100000, {}}, {54, 0x100000, true}, {54, 0x100000, false}, {55, 0, {}}}},
        {"right pressed, left pressed, right released", {{54, 0x100000, true}, {55, 0x100000, {}}, {54, 0x100000, false}}},
        {"second press after release under a held left", {{55, 0x100000, {}}, {54, 0x100000, true}, {54, 0x100000, false},
                                                           {54, 0x100000, true}, {54, 0, false}}},
        {"missed release heals on a cleared flag", {{54, 0x100000, true}, {54, 0, false}, {54, 0, false}, {54, 0x100000, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HotkeyKeyState state;
        for (const Step& s : c.steps) {
            if (!s.hotkeyDown) continue;
            EXPECT_EQ(state.isDown(rightCommand, s.keyCode, s.flags), *s.hotkeyDown);
        }
    }
}

}  // namespace
}  // namespace murmelo::test
