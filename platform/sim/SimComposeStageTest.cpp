#include "sim/SimComposeStage.h"

#include "TestEnvironment.h"
#include "platform/KeyEventPoster.h"
#include "sim/SimPasteboard.h"

#include <gtest/gtest.h>

using namespace murmelo;
using sim::ComposeWrite;
using sim::SimComposeStage;

namespace {

const QString US = QStringLiteral("com.apple.keylayout.US");
const QString RU = QStringLiteral("com.apple.keylayout.Russian");

// A stage on a field of the simulated desktop, in front.
struct Stage : ::testing::Test {
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimPasteboard pasteboard;
    ScopedService<Pasteboard> pasteboardScope{pasteboard};
    std::shared_ptr<sim::SimField> field = desktop.addField("org.kde.kate", "AXTextArea");
    SimComposeStage stage{US, field};

    void typeHuman(const QString& text) {
        for (QChar c : text) stage.humanKey(QString(c));
    }
};

TEST_F(Stage, TheFieldOfTheDesktopShowsTheStagesTextAndCaret) {
    typeHuman("ab");
    stage.machineInsert("cd", "layout");
    EXPECT_EQ(field->value, "abcd");
    EXPECT_EQ(field->caret(), 4);
    stage.setCaret(1);
    EXPECT_EQ(field->selectionStart, 1);
    EXPECT_EQ(stage.axCaret(), 1);
    EXPECT_EQ(stage.humanCharsOnScreen(), 2);
    EXPECT_EQ(stage.writes, (std::vector<ComposeWrite>{{"layout", 0, "cd", 0}}));
}

// Text changed in the field by anything else is taken over; who typed the rest is kept.
TEST_F(Stage, ChangesMadeInTheFieldElsewhereAreTakenOver) {
    typeHuman("hello");
    sim::SimDesktop::insertText(*field, " world");  // another writer, caret at the end
    EXPECT_EQ(stage.text(), "hello world");
    EXPECT_EQ(stage.humanCharsOnScreen(), 5);
    EXPECT_EQ(stage.cells().back().origin, "field");
    field->select(2);
    stage.machineErase(1, "layout");
    EXPECT_EQ(field->value, "hllo world");
    EXPECT_EQ(stage.humanCharsErasedByUs(), 1);
}

TEST_F(Stage, EveryNthInsertIsLostButPastesNever) {
    stage.dropEveryNthWrite = 3;
    for (const char* w : {"a", "b", "cc", "d", "e", "ff"}) stage.machineInsert(w, "layout");
    stage.machinePaste("P", "layout-undo");
    EXPECT_EQ(stage.text(), "abdeP");
    EXPECT_EQ(stage.droppedChars, 4);
    EXPECT_EQ(stage.writes.size(), 7u) << "lost writes are still listed";
    EXPECT_EQ(stage.writes[2], (ComposeWrite{"layout", 0, "cc", 0}));
    EXPECT_EQ(stage.writesAfterFirstDrop, 4);
}

TEST_F(Stage, ErasingTheUsersCharactersIsCountedAndOnlyThose) {
    typeHuman("ghbdtn");
    stage.machineErase(6, "layout");
    stage.machineInsert("привет", "layout");
    EXPECT_EQ(stage.humanCharsErasedByUs(), 6);
    stage.machineErase(6, "layout-undo");
    EXPECT_EQ(stage.humanCharsErasedByUs(), 6) << "our own characters are not the user's";
    EXPECT_EQ(stage.text(), "");
}

TEST_F(Stage, EraseStopsAtTheStartOfTheField) {
    typeHuman("abcd");
    stage.setCaret(2);
    stage.machineErase(5, "layout");
    EXPECT_EQ(stage.text(), "cd");
    EXPECT_EQ(stage.writes.back(), (ComposeWrite{"layout", 2, "", 2}));
    const size_t before = stage.writes.size();
    stage.machineErase(3, "layout");
    EXPECT_EQ(stage.writes.size(), before) << "nothing erased, nothing logged";
}

TEST_F(Stage, CaretOffsetsFallOnWholeCharacters) {
    stage.machineInsert("a😀b", "layout");  // the emoji is two UTF-16 units
    struct Case {
        const char* name;
        qsizetype offset;
        qsizetype caret;
    };
    const Case cases[] = {
        {"inside the emoji: after it", 2, 3},
        {"after the emoji", 3, 3},
        {"beyond the end: the end", 40, 4},
        {"zero: the start", 0, 0},
        {"below zero: the start", -3, 0},
    };
    for (const Case& c : cases) {
        stage.axSetCaret(c.offset);
        EXPECT_EQ(stage.axCaret(), c.caret) << c.name;
    }
}

TEST_F(Stage, AccessibilityWritesOnlyWhenDeliveryIsForced) {
    typeHuman("ghbdtn");
    EXPECT_FALSE(stage.axReplace({0, 6}, "привет", "layout"));
    EXPECT_EQ(stage.text(), "ghbdtn");
    EXPECT_TRUE(stage.writes.empty());
    stage.forceAXDelivery = true;
    EXPECT_TRUE(stage.axReplace({0, 6}, "привет", "layout"));
    EXPECT_EQ(stage.text(), "привет");
    EXPECT_EQ(stage.axCaret(), 6);
    EXPECT_EQ(stage.writes.back(), (ComposeWrite{"layout", 6, "привет", 6}));
}

TEST_F(Stage, ASwallowedKeyIsMeantButNeverShown) {
    stage.humanKey("a");
    stage.humanKey(" ", true);
    EXPECT_EQ(stage.plainText(), "a ");
    EXPECT_EQ(stage.text(), "a");
    stage.humanBackspace();
    EXPECT_EQ(stage.plainText(), "a");
    EXPECT_EQ(stage.text(), "");
    EXPECT_EQ(stage.humanKeystrokes, 2);
    EXPECT_EQ(stage.humanBackspaces, 1);
}

TEST_F(Stage, FieldHooksTakeInsertionsErasuresAndReads) {
    QStringList calls;
    stage.fieldInsert = [&](const QString& t) { calls << "insert " + t; };
    stage.fieldErase = [&](int n) { calls << QString("erase %1").arg(n); };
    stage.fieldRead = [] { return QStringLiteral("elsewhere"); };
    stage.humanKey("x");
    stage.machineInsert("", "layout");
    stage.machineErase(2, "layout");
    stage.humanBackspace();
    EXPECT_EQ(calls, (QStringList{"insert x", "insert ", "erase 2", "erase 1"}));
    EXPECT_EQ(stage.text(), "elsewhere");
    EXPECT_EQ(stage.axValue(), "") << "accessibility still reads the cells";
    EXPECT_EQ(stage.writes.size(), 2u) << "the empty insert is logged on this path";
}

// The keyboard follows a selection only after the lag; what keys render depends on whether the
// key table trusts the reported source.
TEST_F(Stage, TheKeyboardLagsBehindASelection) {
    stage.keyMap = [](const QString& source, const QString& key) {
        return source == RU && key == "f" ? QStringLiteral("а") : key;
    };
    stage.lagKeystrokes = [] { return 2; };
    stage.selectSource(RU);
    EXPECT_EQ(stage.sourceID(), RU);
    EXPECT_TRUE(stage.keyboardIsMoving());
    for (int tick = 1; tick <= 2; ++tick) {
        EXPECT_EQ(stage.delivered("f"), "f") << "before tick " << tick;
        stage.tickKeystroke();
    }
    EXPECT_EQ(stage.delivered("f"), "f");
    stage.tickKeystroke();
    EXPECT_EQ(stage.delivered("f"), "а");
    EXPECT_FALSE(stage.keyboardIsMoving());
    EXPECT_EQ(stage.tisSelects, 1);
}

TEST_F(Stage, AStaleAnswerOfTheSourceServiceMisleadsOnlyAStaleKeyTable) {
    stage.keyMap = [](const QString& source, const QString& key) {
        return source == RU && key == "f" ? QStringLiteral("а") : key;
    };
    stage.tisAnswersInstead = RU;
    EXPECT_EQ(stage.sourceID(), RU);
    EXPECT_EQ(stage.rendered("f"), "f");
    stage.staleTapTable = true;
    EXPECT_EQ(stage.rendered("f"), "а");
    EXPECT_EQ(stage.delivered("f"), "f");
}

TEST_F(Stage, AReselectCountsOnceAndAStaleTableRefreshesAtOnce) {
    stage.lagKeystrokes = [] { return 3; };
    stage.reselectSource(RU);
    EXPECT_EQ(stage.tisSelects, 1);
    EXPECT_EQ(stage.idleReselects, 1);
    EXPECT_TRUE(stage.keyboardIsMoving());
    stage.staleTapTable = true;
    stage.reselectSource(US);
    EXPECT_EQ(stage.tisSelects, 2);
    EXPECT_EQ(stage.hidSource, US);
    EXPECT_FALSE(stage.keyboardIsMoving());
    stage.humanSelectSource(RU);
    EXPECT_EQ(stage.hidSource, RU);
    EXPECT_EQ(stage.tisSelects, 2) << "the user's switch is not ours";
}

// Shortcut keys, selection and the clipboard, as an editor handles them.
TEST_F(Stage, ShortcutKeysSelectCopyAndPaste) {
    using namespace KeyFlags;
    stage.machineInsert("hello world", "layout");
    stage.machineKey(123, shift | option, "layout");  // the word before the caret
    stage.machineKey(8, command, "layout");
    EXPECT_EQ(pasteboard.string(), std::optional<QString>("world"));
    EXPECT_EQ(field->selectedText(), "world");
    pasteboard.copyFromOtherApp("мир");
    stage.machineKey(9, command, "layout");
    EXPECT_EQ(stage.text(), "hello мир");
    EXPECT_EQ(stage.writes.back(), (ComposeWrite{"layout", 5, "мир", 0}));

    stage.machineKey(0, command, "layout");
    EXPECT_EQ(field->selectedText(), "hello мир");
    stage.machineKey(124, 0, "layout");  // collapses to the end
    for (int i = 0; i < 3; ++i) stage.machineKey(123, shift, "layout");
    EXPECT_EQ(field->selectedText(), "мир");
    stage.machineKey(51, 0, "layout");  // Backspace takes the selection
    EXPECT_EQ(stage.text(), "hello ");
    stage.machineKey(36, 0, "layout");
    EXPECT_EQ(stage.text(), "hello \n");
    EXPECT_EQ(stage.keys.size(), 10u);
}

TEST_F(Stage, CopyWithoutASelectionLeavesTheClipboardAlone) {
    stage.machineInsert("abc", "layout");
    pasteboard.copyFromOtherApp("mine");
    const qint64 changes = pasteboard.changeCount();
    stage.machineKey(8, KeyFlags::command, "layout");
    EXPECT_EQ(pasteboard.changeCount(), changes);
    EXPECT_EQ(pasteboard.string(), std::optional<QString>("mine"));
}

TEST(StandMode, OnceOnItStaysOn) {
    test::TestEnvironment env;
    EXPECT_FALSE(ComposeStage::standMode());
    ComposeStage::setStandMode(false);
    EXPECT_FALSE(ComposeStage::standMode());
    ComposeStage::setStandMode(true);
    ComposeStage::setStandMode(false);
    EXPECT_TRUE(ComposeStage::standMode());
    SimComposeStage stage(US);
    EXPECT_EQ(ComposeStage::active(), nullptr) << "stand mode alone installs no stage";
    ComposeStage::install(&stage);
    EXPECT_EQ(ComposeStage::active(), &stage);
    EXPECT_FALSE(stage.hasLiveField());
}

}  // namespace
