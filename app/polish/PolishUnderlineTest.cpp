#include "polish/PolishUnderline.h"

#include "TestEnvironment.h"
#include "input/AXText.h"
#include "polish/PolishKnownWords.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace murmelo;
using PolishUnderline::Change;

namespace {

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");

struct ChangeCase {
    const char* name;
    QString before, after;
    std::vector<Change> expected;
};

TEST(PolishUnderlineChanges, OnlyRealWordChangesAreMarked) {
    const ChangeCase cases[] = {
        {"all new", "", "abc", {{{0, 3}, {0, 0}}}},
        {"all gone", "abc", "", {}},
        {"equal", "кот", "кот", {}},
        {"punctuation", "привет как дела", "привет, как дела", {}},
        {"case", "москва", "Москва", {}},
        {"yo", "еще", "ещё", {}},
        {"a letter replaced", "превет", "привет", {{{0, 6}, {0, 6}}}},
        {"a letter deleted", "приивет", "привет", {{{0, 6}, {0, 7}}}},
        {"two words apart", "кот пёс", "кит пас", {{{0, 3}, {0, 3}}, {{4, 3}, {4, 3}}}},
        {"one glued by a comma", "кот,пёс", "кит,пас", {{{0, 7}, {0, 7}}}},
        {"four dots apart", "кот....пёс", "кит....пас", {{{0, 3}, {0, 3}}, {{7, 3}, {7, 3}}}},
        {"beyond the basic plane", "a" + kEmoji + "b", "a" + kEmoji + "c", {{{3, 1}, {3, 1}}}},
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PolishUnderline::changes(c.before, c.after), c.expected);
    }
}

struct FollowCase {
    const char* name;
    QString old, now;
    AXRange range;
    std::optional<qsizetype> caret;
    std::optional<AXRange> expected;
};

TEST(PolishUnderlineFollow, AMarkStaysWithItsOwnOccurrence) {
    const FollowCase cases[] = {
        {"typed after it", "мыла раму", "мыла раму и пол", {0, 4}, 15, AXRange{0, 4}},
        {"the same word typed before it", "мама мыла раму", "мыла мама мыла раму", {5, 4}, 5, AXRange{10, 4}},
        {"the same word typed before it, caret unknown", "мама мыла раму", "мыла мама мыла раму", {5, 4}, std::nullopt,
         AXRange{10, 4}},
        {"a repeat typed between two equal words", "да да", "да да да", {3, 2}, 6, AXRange{6, 2}},
        {"a repeat typed after two equal words", "да да", "да да да", {3, 2}, 8, AXRange{3, 2}},
        {"a repeat typed with no caret to tell where", "да да", "да да да", {3, 2}, std::nullopt, std::nullopt},
        {"a repeat erased before it", "да да да", "да да", {6, 2}, 0, AXRange{3, 2}},
        {"typed inside it", "мыла раму", "мыxла раму", {0, 4}, 3, std::nullopt},
        {"replaced around it", "мама мыла раму", "папа мыло раму", {5, 4}, 9, std::nullopt},
        {"moved by 64", "кот", QString(64, 'a') + "кот", {0, 3}, 64, AXRange{64, 3}},
        {"moved by 65", "кот", QString(65, 'a') + "кот", {0, 3}, 65, std::nullopt},
    };
    for (const FollowCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PolishUnderline::follow(c.range, c.old, c.now, c.caret), c.expected);
    }
}

TEST(PolishUnderlineWords, TheWordAroundIsMadeOfWholeCharacters) {
    const QString decomposed = QString::fromUtf8("ее\xCC\x88 да");  // "её" with a combining diaeresis
    EXPECT_EQ(PolishUnderline::wordAround(decomposed, 0), QString::fromUtf8("ее\xCC\x88"));
    EXPECT_EQ(PolishUnderline::wordAround(decomposed, 2), QString::fromUtf8("ее\xCC\x88"));
    EXPECT_EQ(PolishUnderline::wordAround("кот пёс", 3), "");
    EXPECT_EQ(PolishUnderline::wordAround("кто-то пришёл", 2), "кто-то");
    EXPECT_EQ(PolishUnderline::wordAround("кот", 99), "кот");
    EXPECT_EQ(PolishUnderline::wordAround(kEmoji + "x", 1), "");
    EXPECT_EQ(PolishUnderline::wordAround("", 0), "");
}

TEST(PolishUnderlineGeometry, ThePanelCoversTheWordAndTheStripBelowIt) {
    // A word at (100, 200) of 40 by 18, top-left origin, on a screen 800 high.
    EXPECT_EQ(PolishUnderline::panelFrame(QRectF(100, 200, 40, 18), 800), QRectF(100, 577, 40, 23));
}

// Marks in a simulated editor on the manual clock.
struct PolishUnderlineTest : ::testing::Test {
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    ScopedService<Workspace> desktopScope{desktop};
    sim::SimAccessibility ax{desktop};
    ScopedService<Accessibility> axScope{ax};
    std::shared_ptr<sim::SimField> field;

    void SetUp() override {
        AXText::resetForTesting();
        PolishUnderline::resetForTesting();
        desktop.addApp("org.kde.kate", "Kate");
        field = desktop.addField("org.kde.kate", "AXTextArea", "");
        field->frame = QRectF(100, 200, 800, 18);
        desktop.focus("org.kde.kate", field);
    }
    void TearDown() override {
        PolishUnderline::resetForTesting();
        AXText::resetForTesting();
    }
    AXElementPtr el() { return ax.elementFor(field); }
    // Polish rewrote the stretch at base from before to after, and marks it.
    void polish(qsizetype base, const QString& before, const QString& after) {
        ASSERT_EQ(field->value.mid(base, before.size()), before);
        field->value.replace(base, before.size(), after);
        field->select(field->value.size());
        PolishUnderline::show(el(), base, before, after);
    }
    void setText(const QString& text, std::optional<qsizetype> caret = std::nullopt) {
        field->value = text;
        field->select(caret.value_or(text.size()));
    }
    std::vector<AXRange> ranges() const {
        std::vector<AXRange> out;
        for (const PolishUnderline::Mark& m : PolishUnderline::marks()) out.push_back(m.range);
        return out;
    }
    bool logHas(const QString& s) const { return env.logContains(s); }
};

TEST_F(PolishUnderlineTest, AMarkIsDrawnUnderItsWordAndOnlyItsStripTakesTheMouse) {
    setText("мама мила раму");
    polish(5, "мила", "мыла");
    ASSERT_EQ(ranges(), (std::vector<AXRange>{{5, 4}}));
    const std::vector<QWidget*> panels = PolishUnderline::visiblePanels();
    ASSERT_EQ(panels.size(), 1u);
    // The simulated field lays a unit out 8 points wide.
    EXPECT_EQ(panels[0]->geometry(), QRect(140, 200, 32, 23));
    EXPECT_FALSE(panels[0]->mask().contains(QPoint(10, 9)));  // over the word
    EXPECT_TRUE(panels[0]->mask().contains(QPoint(10, 20)));  // the strip below it
    EXPECT_TRUE(panels[0]->testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST_F(PolishUnderlineTest, AtMostTwelveMarksPerPolishAndTwoHundredInAll) {
    QString before, after;
    for (int i = 0; i < 15; ++i) {
        before += "кот ";
        after += "кит ";
    }
    setText(before);
    polish(0, before, after);
    EXPECT_EQ(PolishUnderline::marks().size(), 12u);
    PolishUnderline::resetForTesting();
    setText("");
    for (int i = 0; i < 201; ++i) {
        field->value += "кот ";
        polish(field->value.size() - 4, "кот ", "кит ");
    }
    ASSERT_EQ(PolishUnderline::marks().size(), 200u);
    EXPECT_EQ(PolishUnderline::marks().front().range.location, 4);
}

TEST_F(PolishUnderlineTest, MarksFollowTheirTextAndGoWhenItIsGone) {
    setText("мама мила раму");
    polish(5, "мила", "мыла");
    setText("ну мама мыла раму", 3);
    env.advance(PolishUnderline::TICK);
    EXPECT_EQ(ranges(), (std::vector<AXRange>{{8, 4}}));
    setText(QString(70, 'a') + "ну мама мыла раму", 70);
    env.advance(PolishUnderline::TICK);
    EXPECT_TRUE(PolishUnderline::marks().empty());
    EXPECT_TRUE(PolishUnderline::visiblePanels().empty());
}

TEST_F(PolishUnderlineTest, TheRevertChordTakesBackItsOwnOccurrenceOnly) {
    setText("мама мила раму");
    polish(5, "мила", "мыла");
    // The person types the same word in front of it before the next reading.
    setText("мыла мама мыла раму", 5);
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "мыла мама мила раму");
    EXPECT_TRUE(logHas("polish/undo: "));
    EXPECT_TRUE(logHas("(диапазон 10)"));
    EXPECT_TRUE(PolishKnownWords::polishExceptions().contains("мила"));
    EXPECT_TRUE(PolishUnderline::marks().empty());
}

TEST_F(PolishUnderlineTest, AnAmbiguousMoveDropsTheMarkInsteadOfGuessing) {
    setText("да дя");
    polish(3, "дя", "да");
    // Typed with the caret elsewhere (a selection): which "да" is the polished one cannot be told.
    field->value = "да да да";
    field->select(0, 2);
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "да да да");
    EXPECT_TRUE(logHas("polish/undo: текст под правкой уже другой — отменять нечего"));
}

TEST_F(PolishUnderlineTest, ARevertNeverSplitsACharacter) {
    setText("кот спит");
    polish(0, "кот", "кит");
    // A combining accent typed after the word makes its last letter another character.
    setText(QString::fromUtf8("кит\xCC\x81 спит"), 4);
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, QString::fromUtf8("кит\xCC\x81 спит"));
    EXPECT_TRUE(logHas("polish/undo: текст под правкой уже другой — отменять нечего"));
}

TEST_F(PolishUnderlineTest, RevertingMovesTheMarksAfterIt) {
    // Marks at 5, at 10 (whose old text is two units longer) and at 30.
    setText(QString("xxxxx") + "кот__" + "дада" + QString(18, '_') + "мор");
    polish(5, "кот", "кит");
    polish(10, "дада", "да");
    polish(30, "мор", "мир");
    ASSERT_EQ(ranges(), (std::vector<AXRange>{{5, 3}, {10, 2}, {30, 3}}));
    PolishUnderline::revert(PolishUnderline::marks()[1].id);
    EXPECT_EQ(ranges(), (std::vector<AXRange>{{5, 3}, {32, 3}}));
    EXPECT_EQ(field->value.mid(32, 3), "мир");
    // The next reading starts from the reverted text: nothing moves twice.
    env.advance(PolishUnderline::TICK);
    EXPECT_EQ(ranges(), (std::vector<AXRange>{{5, 3}, {32, 3}}));
}

TEST_F(PolishUnderlineTest, TheNewestPolishIsRevertedFirstLeftmostWithinIt) {
    setText("кот пёс");
    polish(0, "кот пёс", "кит пас");
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "кот пас");
    env.advance(1.0);
    field->value += " дым";
    polish(8, "дым", "дом");
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "кот пас дым");
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "кот пёс дым");
    PolishUnderline::revertLast();
    EXPECT_TRUE(logHas("polish/undo: свежих правок нет — отменять нечего"));
}

TEST_F(PolishUnderlineTest, ARefusedWriteKeepsTheMark) {
    setText("кот");
    polish(0, "кот", "кит");
    field->refusesWrites = true;
    PolishUnderline::revertLast();
    EXPECT_TRUE(logHas("polish/undo: поле не приняло возврат"));
    EXPECT_EQ(field->value, "кит");
    EXPECT_EQ(PolishUnderline::marks().size(), 1u);
}

TEST_F(PolishUnderlineTest, OldMarksAreHiddenButStillRevert) {
    setText("кот");
    polish(0, "кот", "кит");
    env.advance(PolishUnderline::SHOWN_FOR + 1);
    EXPECT_TRUE(PolishUnderline::visiblePanels().empty());
    ASSERT_EQ(PolishUnderline::marks().size(), 1u);
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "кот");
}

TEST_F(PolishUnderlineTest, ClickingTheLineRevertsItsMark) {
    setText("мама мила раму");
    polish(5, "мила", "мыла");
    QWidget* panel = PolishUnderline::visiblePanels().at(0);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(150, 220), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &press);
    EXPECT_TRUE(logHas("polish/undo: клик по подчёркиванию"));
    EXPECT_EQ(field->value, "мама мила раму");
}

TEST_F(PolishUnderlineTest, FreshMarksWaitForTheirKeysToLand) {
    setText("кот");
    // The keys are still on their way when the marks are made.
    PolishUnderline::show(el(), 0, "кот", "кит");
    EXPECT_EQ(PolishUnderline::marks().size(), 1u);
    EXPECT_TRUE(PolishUnderline::visiblePanels().empty());
    setText("кит");
    env.advance(PolishUnderline::TICK);
    EXPECT_EQ(PolishUnderline::visiblePanels().size(), 1u);
    // Keys that never land leave no mark behind.
    PolishUnderline::show(el(), 0, "кит", "кат");
    env.advance(PolishUnderline::LANDING_WAIT);
    EXPECT_EQ(PolishUnderline::marks().size(), 1u);
}

TEST_F(PolishUnderlineTest, TheSwitchAndTheFieldDecideWhetherMarksLive) {
    setText("кот пёс");
    polish(0, "кот", "кит");
    env.defaults().set("polishUnderline", false);
    polish(4, "пёс", "пас");
    EXPECT_EQ(PolishUnderline::marks().size(), 1u);
    PolishUnderline::revertLast();
    EXPECT_EQ(field->value, "кот пас");
    // Another field takes the marks' place; an unreadable one clears them.
    env.defaults().set("polishUnderline", true);
    polish(0, "кот", "кит");
    auto other = desktop.addField("org.kde.kate", "AXTextArea", "дым");
    desktop.focus("org.kde.kate", other);
    other->value = "дом";
    PolishUnderline::show(ax.elementFor(other), 0, "дым", "дом");
    ASSERT_EQ(PolishUnderline::marks().size(), 1u);
    EXPECT_EQ(PolishUnderline::marks()[0].text, "дом");
    other->valueReadable = false;
    env.advance(PolishUnderline::TICK);
    EXPECT_TRUE(PolishUnderline::marks().empty());
}

TEST_F(PolishUnderlineTest, AnApplicationWithoutTextBoundsIsNamedOnce) {
    field->frame.reset();
    setText("кот пёс");
    polish(0, "кот", "кит");
    polish(4, "пёс", "пас");
    env.advance(1.0);
    EXPECT_EQ(env.logLines().filter("polish/underline: Kate не отдаёт координаты текста — подчёркивать нечем "
                                    "(правка при этом поставлена)").size(),
              1);
    EXPECT_EQ(PolishUnderline::marks().size(), 2u);
}

}  // namespace
