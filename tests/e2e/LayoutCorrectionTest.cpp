// A word typed in the wrong layout, corrected by the switcher and taken back, as the user's
// keys arrive through the event tap.
#include "Desk.h"

#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "layout/KeyboardTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "layout/SystemLayouts.h"
#include "platform/Service.h"
#include "sim/SimInputSources.h"
#include "sim/SimSpellChecker.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString US = ManualInputSourceProfileV1::englishUS;
const QString RU = ManualInputSourceProfileV1::russianApple;

void forgetLayouts() {
    SystemLayouts::forgetCache();
    SystemInputSourcePrefs::resetForTesting();
    LayoutMaps::resetForTesting();
    KeyboardTruth::resetForTesting();
}

// The switcher engine on the desk's keyboard (US and Russian, US current), joined to its
// parts as the application joins them, with its hands in the desk's fields, deciding with the
// shipped models and word tables (the spell checker knows no words here).
class LayoutCorrectionTest : public ::testing::Test {
protected:
    e2e::Desk desk;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    sim::SimSpellChecker speller;
    ScopedService<SpellChecker> spellerScope{speller};
    test::NoPolish polish;
    test::NoDictation dictation;
    std::unique_ptr<LayoutLexicons> lexicons;
    std::unique_ptr<LayoutEngineParts> parts;
    LayoutSwitcher* engine = nullptr;
    std::unique_ptr<LayoutSwitcherTap> tap;
    std::unique_ptr<ScopedService<TapLayoutSwitcher>> tapScope;
    test::HeardCues heard;
    QStringList& cues = heard.cues;

    void SetUp() override {
        forgetLayouts();
        desk.setting("layoutSwitchEnabled", true);
        const QString models = murmeloSourceRoot() + QStringLiteral("/resources/layout-models");
        speller.languages = {QStringLiteral("en_US"), QStringLiteral("ru_RU")};
        lexicons = std::make_unique<LayoutLexicons>(models, LayoutSwitcherRules{});
        lexicons->loadSpellIfNeeded();
        parts = std::make_unique<LayoutEngineParts>(
            polish, dictation, heard, lexicons.get(),
            LayoutRules::read([](const char*) { return std::optional<QString>(); }, Defaults::shared()));
        engine = &parts->engine;
        engine->loaded = true;
        for (const QString& code : LayoutMaps::layoutOrder()) {
            if (auto m = NgramModel::load(models + QLatin1Char('/') + code + QStringLiteral(".json")))
                engine->models.insert_or_assign(code, std::move(*m));
        }
        tap = std::make_unique<LayoutSwitcherTap>(*engine, *parts->manual, polish);
        tapScope = std::make_unique<ScopedService<TapLayoutSwitcher>>(*tap);
    }
    void TearDown() override {
        tapScope.reset();
        engine = nullptr;
        parts.reset();
        forgetLayouts();
    }
    QString currentSource() const { return sources.currentSource() ? sources.currentSource()->id : QString(); }
    // The user presses the keys whose US legends are given, one at a time with a little time
    // between them; each lands as the current input source types it.
    void typeKeys(const QString& legends) {
        for (const QChar c : legends) {
            QString ch(c);
            if (currentSource() == RU) ch = LayoutMaps::convert(ch, QStringLiteral("en"), QStringLiteral("ru")).value_or(ch);
            desk.type(ch).wait(0.12);
        }
    }
    // Shift+Return: a soft line break, a line end for the switcher.
    void shiftReturn() {
        desk.tap.keyDown(36, QStringLiteral("\n"), kShiftFlag);
        desk.tap.keyUp(36, kShiftFlag);
        desk.env.runPending();
    }
    static constexpr quint64 kShiftFlag = 0x20000;
    void doubleRightShift() {
        desk.press(60, kShiftFlag);
        desk.wait(0.1);
        desk.press(60, kShiftFlag);
        desk.wait(1.0);
    }
};

TEST_F(LayoutCorrectionTest, AWordTypedOnTheWrongLayoutIsCorrectedAndBackspaceTakesItBack) {
    // Judged at its end only: with live correction the word would be flipped while typed.
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет "));
    EXPECT_EQ(currentSource(), RU);
    EXPECT_EQ(cues, QStringList{"ru"});

    desk.press(51).wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ")) << desk.env.logText().toStdString();
    EXPECT_EQ(currentSource(), US);
    EXPECT_EQ(cues, (QStringList{"ru", "rollback"}));
    EXPECT_EQ(desk.pastesPosted(), 1) << "the undo lands as one paste";

    // The word goes on being typed as the user types it.
    desk.type(QStringLiteral("ok"));
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ok"));
}

TEST_F(LayoutCorrectionTest, BackspaceAfterTheUndoWindowErasesAsUsual) {
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(LayoutSwitcher::undoMaxAge);
    desk.press(51);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет"));
    EXPECT_EQ(currentSource(), RU);
}

// As the application runs by default: the word is flipped while it is typed, and only the very
// next key can take the flip back; a Backspace after the word's end erases as usual.
TEST_F(LayoutCorrectionTest, ALiveFlipStandsOnceTheWordGoesOn) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет "));
    EXPECT_EQ(currentSource(), RU);
    EXPECT_TRUE(desk.logHas("layout: LIVE-флип"));
    desk.press(51).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет"));
}

TEST_F(LayoutCorrectionTest, BackspaceRightAfterALiveFlipTakesItBackAndTheWordStaysAsTyped) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdt")).wait(0.2);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("приве")) << desk.env.logText().toStdString();
    desk.press(51).wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdt")) << desk.env.logText().toStdString();
    EXPECT_TRUE(desk.logHas("layout: ОТКАТ live-флипа"));
    EXPECT_EQ(currentSource(), US);
    desk.type(QStringLiteral("n ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ")) << desk.env.logText().toStdString();
}

TEST_F(LayoutCorrectionTest, SentencesTypedRightStayAndSentencesTypedWrongAreRetyped) {
    struct Case {
        const char* name;
        QString source;  // the input source the user starts on
        QString keys;    // the keys pressed, by their US legends
        QString wanted;
    } const cases[] = {
        {"russian typed right", RU, QStringLiteral("ghbdtn rfr ltkf "), QStringLiteral("привет как дела ")},
        {"english typed right", US, QStringLiteral("hello world this is fine "),
         QStringLiteral("hello world this is fine ")},
        {"russian typed on the US layout", US, QStringLiteral("ghbdtn rfr ltkf "), QStringLiteral("привет как дела ")},
        {"english typed on the Russian layout", RU, QStringLiteral("hello world "), QStringLiteral("hello world ")},
        {"a longer russian sentence on the US layout", US, QStringLiteral("pfdnhf cjpdjy d ltcznm "),
         QStringLiteral("завтра созвон в десять ")},
    };
    int app = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sources.userSelects(c.source);
        desk.wait(2.5);
        desk.open(QStringLiteral("org.kde.kate%1").arg(++app));
        typeKeys(c.keys);
        desk.wait(0.5);
        EXPECT_EQ(desk.fieldText(), c.wanted);
    }
}

TEST_F(LayoutCorrectionTest, AnUndoneWordIsLeftAloneAndTheNextWordIsStillCorrected) {
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.open(QStringLiteral("org.kde.kate"));
    typeKeys(QStringLiteral("ghbdtn "));
    desk.wait(0.2);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("привет "));
    desk.press(51).wait(0.5);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("ghbdtn "));
    ASSERT_EQ(currentSource(), US);
    typeKeys(QStringLiteral("rfr ltkf "));
    desk.wait(0.5);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn как дела "));
}

TEST_F(LayoutCorrectionTest, AWordEndedByShiftReturnIsCorrectedAndTheSoftBreakKept) {
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.open(QStringLiteral("org.kde.kate"));
    typeKeys(QStringLiteral("ghbdtn"));
    shiftReturn();
    desk.wait(0.3);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет\n"));
    bool softBreak = false;
    for (const KeyEvent& e : desk.posted())
        if (e.keyCode == 36 && (e.flags & kShiftFlag)) softBreak = true;
    EXPECT_TRUE(softBreak) << "the line end is replayed with its Shift";
    // A correction made at a line end cannot be undone: Backspace erases the break.
    desk.press(51).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет"));
}

TEST_F(LayoutCorrectionTest, DoubleShiftRightAfterACorrectionTurnsItBackAndTeachesNoException) {
    desk.open(QStringLiteral("org.kde.kate"));
    typeKeys(QStringLiteral("ghbdtn "));
    desk.wait(0.3);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("привет "));
    doubleRightShift();
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn "));
    EXPECT_EQ(currentSource(), US);
    EXPECT_TRUE(desk.logHas(QStringLiteral("считаем откатом (R46)")));
    EXPECT_TRUE(engine->exceptions.isEmpty());
}

TEST_F(LayoutCorrectionTest, DoubleShiftConvertsASelectionRunByRunAndTheSourceFollows) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("ghbdtn vbh"));
    desk.caret(0, 10);
    doubleRightShift();
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет мир"));
    EXPECT_EQ(currentSource(), RU);
    // Typing goes on in the layout the conversion chose.
    desk.caret(10);
    typeKeys(QStringLiteral(" rfr "));
    desk.wait(0.3);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет мир как "));
}

// A terminal selects nothing with keys, and xterm would take the copy key as ^C: double
// Shift converts the last word from the keys the user typed, erasing and retyping it, and
// no shortcut reaches the terminal. A second double Shift turns it back.
TEST_F(LayoutCorrectionTest, DoubleShiftInATerminalConvertsTheTypedWordWithoutAnyShortcut) {
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.keys.terminalApps[QStringLiteral("xterm")] = FrontEditing::terminalWithoutClipboardKeys;
    desk.open(QStringLiteral("xterm"), QStringLiteral("$ "));
    typeKeys(QStringLiteral("echo ntrcn "));
    desk.wait(0.3);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("$ echo текст ")) << "corrected at its end";
    desk.wait(LayoutSwitcher::undoMaxAge);
    desk.keys.clearPosted();
    doubleRightShift();
    EXPECT_EQ(desk.fieldText(), QStringLiteral("$ echo ntrcn "));
    const auto shortcut = [](const KeyEvent& e) { return e.flags & (KeyFlags::command | KeyFlags::option); };
    EXPECT_TRUE(std::none_of(desk.posted().begin(), desk.posted().end(), shortcut));
    EXPECT_TRUE(desk.logHas(QStringLiteral(", по записи набора")));
    EXPECT_EQ(desk.pastesPosted(), 0);

    doubleRightShift();
    EXPECT_EQ(desk.fieldText(), QStringLiteral("$ echo текст "));
    EXPECT_TRUE(std::none_of(desk.posted().begin(), desk.posted().end(), shortcut));

    // A word sent with Return is the shell's: nothing to take back.
    typeKeys(QStringLiteral("\r"));
    doubleRightShift();
    EXPECT_TRUE(desk.logHas(QStringLiteral("layout: ручная конвертация в терминале — нечего конвертировать")));
}

TEST_F(LayoutCorrectionTest, CommandZTakesTheCorrectionBackAndTheSourceWithIt) {
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    constexpr quint16 kLeftCommand = 55, kZ = 6;
    constexpr quint64 kCommandFlag = 0x100000;
    desk.open(QStringLiteral("org.kde.kate"));
    typeKeys(QStringLiteral("ghbdtn "));
    desk.wait(0.3);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("привет "));
    ASSERT_EQ(currentSource(), RU);

    // Command held, Z pressed and let go, Command let go a moment later.
    desk.tap.flagsChanged(kLeftCommand, kCommandFlag);
    desk.press(kZ, kCommandFlag);
    desk.wait(0.15);
    desk.tap.flagsChanged(kLeftCommand, 0);
    desk.wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn "));
    EXPECT_EQ(currentSource(), US);
    EXPECT_EQ(cues, (QStringList{"ru", "rollback"}));

    // The user goes on typing in the layout he meant.
    typeKeys(QStringLiteral("ok "));
    desk.wait(0.3);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ok "));
}

}  // namespace
