// The user's keys reaching the program through the event tap and its dispatcher.
#include "Desk.h"

#include "input/HotkeyDef.h"
#include "input/TapConsumers.h"
#include "platform/Service.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct Recorder : TapDictation, TapPolish {
    QStringList calls;
    void startRec(bool command) override { calls << (command ? "startRec(command)" : "startRec"); }
    void stopRec() override { calls << "stopRec"; }
    void revertLast() override { calls << "revert"; }
};

class KeysTest : public ::testing::Test {
protected:
    e2e::Desk desk;
    Recorder rec;
    ScopedService<TapDictation> dictation_{static_cast<TapDictation&>(rec)};
    ScopedService<TapPolish> polish_{static_cast<TapPolish&>(rec)};
};

TEST_F(KeysTest, HoldingTheDictationKeyRecordsForAsLongAsItIsHeld) {
    desk.open(QStringLiteral("org.kde.kate"));
    const HotkeyDef& key = activeHotkey();
    desk.hold(quint16(key.code), 1.5, key.mask);
    EXPECT_EQ(rec.calls, (QStringList{"startRec", "stopRec"}));
    EXPECT_EQ(desk.fieldText(), QString());
}

// The dispatcher sends the revert chord to polish, and plain typing on to the field.
TEST_F(KeysTest, TheRevertChordGoesToPolishAndTypingToTheField) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("текст"));
    constexpr quint64 command = 0x100000, option = 0x80000;
    desk.press(6, command | option);
    desk.type(QStringLiteral(" и ещё"));
    EXPECT_EQ(rec.calls, QStringList{"revert"});
    EXPECT_EQ(desk.fieldText(), QStringLiteral("текст и ещё"));
}

}  // namespace
