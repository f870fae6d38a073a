#include "input/SyntheticInputPostGate.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "platform/KeyEventPoster.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;
using BufStart = LayoutSwitcher::BufStart;

namespace {

InputEvent key(qint64 code, const QString& text, quint64 flags = 0) {
    InputEvent e;
    e.keyCode = code;
    e.unicode = text;
    e.flags = flags;
    return e;
}

constexpr qint64 kLetter = 0;  // any key that is neither navigation, Z nor Backspace
const InputEvent kBackspace = key(51, QStringLiteral("\b"));

struct Ingestion : SwitcherFixture {
    struct Considered { QString word; QChar boundary; BufStart start; bool onEnter; };
    QList<Considered> considered;
    QStringList disagreements, stats;
    bool considerAnswer = false;

    void SetUp() override {
        SwitcherFixture::SetUp();
        env.defaults().set("layoutSwitchEnabled", true);
        engine->loaded = true;
        watch();
    }
    void watch() {
        steps.consider = [this](const QString& w, QChar b, BufStart s, bool enter) {
            considered.append({w, b, s, enter});
            return considerAnswer;
        };
        steps.noteDisagreement = [this](const QString& w, const QString& why, std::optional<QUuid>) {
            disagreements << w + "|" + why;
        };
        steps.noteWordForStats = [this](const QString& w, bool) { stats << w; };
    }
    bool type(const QString& text) {
        bool swallowed = false;
        for (QChar c : text) swallowed = engine->handleKeyDown(key(kLetter, QString(c))) || swallowed;
        return swallowed;
    }
    // Every field the resets may touch, set away from its reset value.
    void dirty() {
        LayoutSwitcher& e = *engine;
        e.buf = "abc";
        e.lastCorrection = LayoutSwitcher::PendingCorrection{};
        e.liveActive = true;
        e.editingExisting = true;
        e.bsEmptyRun = 2;
        e.liveFlippedWord = e.liveRetypeVeto = true;
        e.liveRaw = e.liveRawPeak = e.liveFlipTarget = "x";
        e.undoneWordPrefix = "ab";
        e.lastConversionForVeto = LayoutSwitcher::LastLayoutConversion{};
        e.recentLang = "ru";
        e.setPrevWord("one");
        e.setPrevWord("two");
        e.prevBoundary = QLatin1Char(' ');
        e.bufStart = BufStart::clean;
        e.atSentenceStart = true;
        e.graceTarget = e.layoutVerifyTarget = "ru";
        e.layoutVerifyRetries = 1;
    }
};

TEST_F(Ingestion, ResetTable) {
    struct Expect {
        const char* name;
        std::function<void(Ingestion&)> event;
        bool partial;           // editingExisting, bsEmptyRun, live flip fields and the conversion kept
        bool undonePrefixDropped;
        bool contextDropped;    // recentLang, previous words, prevBoundary
        std::optional<BufStart> start;
        bool sentenceDropped;
        bool verifyRetriesDropped;
    };
    const Expect cases[] = {
        {"navigation key", [](Ingestion& t) { t.engine->handleKeyDown(key(123, {})); }, false, true, true,
         BufStart::nav, true, true},
        {"Command key", [](Ingestion& t) { t.engine->handleKeyDown(key(kLetter, "a", KeyFlags::command)); }, false,
         false, false, BufStart::mod, false, true},
        {"Option letter", [](Ingestion& t) { t.engine->handleKeyDown(key(kLetter, "å", KeyFlags::option)); }, false,
         false, false, BufStart::mod, false, true},
        {"foreign source", [](Ingestion& t) {
             t.steps.systemSourceID = [] { return std::optional<QString>("xkb:de"); };
             t.engine->handleKeyDown(key(kLetter, "a"));
         }, false, false, true, std::nullopt, false, true},
        {"excluded application", [](Ingestion& t) {
             t.steps.isExcludedAppFocused = [] { return true; };
             t.engine->handleKeyDown(key(kLetter, "a"));
         }, true, false, true, std::nullopt, false, true},
        {"click", [](Ingestion& t) { t.engine->noteCursorMoved(); }, false, true, true, BufStart::click, true, false},
    };
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.name);
        makeEngine();
        steps.systemSourceID = nullptr;  // the source a case set belonged to its engine
        engine->loaded = true;
        watch();
        dirty();
        c.event(*this);
        const LayoutSwitcher& e = *engine;
        EXPECT_EQ(e.buf, "");
        EXPECT_FALSE(e.lastCorrection);
        EXPECT_FALSE(e.liveActive);
        EXPECT_EQ(e.editingExisting, c.partial);
        EXPECT_EQ(e.bsEmptyRun, c.partial ? 2 : 0);
        EXPECT_EQ(e.liveFlippedWord, c.partial);
        EXPECT_EQ(e.liveRaw, c.partial ? "x" : "");
        EXPECT_EQ(e.lastConversionForVeto.has_value(), c.partial);
        EXPECT_EQ(e.undoneWordPrefix.has_value(), !c.undonePrefixDropped);
        EXPECT_EQ(e.recentLang.has_value(), !c.contextDropped);
        EXPECT_EQ(e.prevWord().isEmpty(), c.contextDropped);
        EXPECT_EQ(e.prevWord2().isEmpty(), c.contextDropped);
        EXPECT_EQ(e.prevBoundary.has_value(), !c.contextDropped);
        EXPECT_EQ(e.bufStart, c.start.value_or(BufStart::clean));
        EXPECT_EQ(e.atSentenceStart, !c.sentenceDropped);
        EXPECT_FALSE(e.graceTarget);
        EXPECT_FALSE(e.layoutVerifyTarget);
        EXPECT_EQ(e.layoutVerifyRetries, c.verifyRetriesDropped ? 0 : 1);
    }
}

TEST_F(Ingestion, KeysPassUntouchedWhenTheEngineMayNotAct) {
    struct Case { const char* name; std::function<void(Ingestion&)> setUp; InputEvent event; };
    InputEvent own = key(kLetter, "a");
    own.userData = SYNTHETIC_MARK;
    const Case cases[] = {
        {"disabled", [](Ingestion& t) { t.env.defaults().set("layoutSwitchEnabled", false); }, key(kLetter, "a")},
        {"models missing", [](Ingestion& t) { t.engine->loaded = false; }, key(kLetter, "a")},
        {"forced off", [](Ingestion& t) { t.makeEngine({{"MURMELO_LAYOUT_OFF", "1"}}); t.engine->loaded = true; },
         key(kLetter, "a")},
        {"own event", [](Ingestion&) {}, own},
        {"no characters", [](Ingestion&) {}, key(kLetter, {})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        env.defaults().set("layoutSwitchEnabled", true);
        makeEngine();
        engine->loaded = true;
        engine->buf = "ab";
        c.setUp(*this);
        engine->buf = "ab";
        engine->lastCorrection = LayoutSwitcher::PendingCorrection{};
        EXPECT_FALSE(engine->handleKeyDown(c.event));
        EXPECT_EQ(engine->buf, "ab");
        EXPECT_TRUE(engine->lastCorrection);
    }
}

TEST_F(Ingestion, EnabledWithoutASettingFollowsTheRussianLayout) {
    env.defaults().remove("layoutSwitchEnabled");
    EXPECT_TRUE(engine->isEnabled());
    sources.setEnabled({"com.apple.keylayout.US"});
    EXPECT_TRUE(engine->isEnabled()) << "the kept answer holds until the change is announced";
    env.runPending();
    EXPECT_FALSE(engine->isEnabled());
    EXPECT_FALSE(engine->handleKeyDown(key(kLetter, "a")));
    EXPECT_EQ(engine->buf, "");
}

TEST_F(Ingestion, WordsEndAtTheFourBoundariesOnly) {
    type("a.b,c!-1");
    EXPECT_EQ(engine->buf, "a.b,c!-1");
    for (const QString& b : {QStringLiteral(" "), QStringLiteral("\t"), QStringLiteral("\n"), QStringLiteral("\r")}) {
        type("w");
        type(b);
        EXPECT_EQ(engine->buf, "");
    }
    ASSERT_EQ(considered.size(), 4);
    EXPECT_EQ(considered[0].word, "a.b,c!-1w");
    EXPECT_FALSE(considered[0].onEnter);
    EXPECT_TRUE(considered[2].onEnter);
    EXPECT_EQ(engine->wordsTyped, 4);
}

TEST_F(Ingestion, ReturnDecidesOnEnterAndDropsTheContext) {
    engine->recentLang = "en";
    engine->setPrevWord("x");
    type("hello\n");
    ASSERT_EQ(considered.size(), 1);
    EXPECT_TRUE(considered[0].onEnter);
    EXPECT_FALSE(engine->recentLang);
    EXPECT_EQ(engine->prevWord(), "");
    EXPECT_EQ(engine->prevBoundary, QLatin1Char('\n'));
    EXPECT_TRUE(engine->atSentenceStart);
    EXPECT_TRUE(stats.isEmpty()) << "a line end does not count the word for the statistics";

    // A live word and an edit of old text are not decided at Return; the context goes all the same.
    considered.clear();
    engine->recentLang = "en";
    type("ab");
    engine->liveActive = true;
    type("\n");
    engine->handleKeyDown(kBackspace);
    type("cd\r");
    EXPECT_TRUE(considered.isEmpty());
    EXPECT_FALSE(engine->recentLang);
}

TEST_F(Ingestion, SpaceAfterALiveWordOrAnEditKeepsTheWord) {
    engine->liveLayout = "ru";
    type("ab");
    engine->liveActive = true;
    type(" ");
    EXPECT_EQ(engine->recentLang, "ru");
    steps.sourceLayout = [](const QString&) { return std::optional<QString>("en"); };
    engine->handleKeyDown(kBackspace);
    type("xy ");
    EXPECT_TRUE(considered.isEmpty());
    EXPECT_EQ(engine->recentLang, "en");
    EXPECT_EQ(stats, (QStringList{"ab", "xy"}));
    // Three characters make it a word of its own again.
    engine->handleKeyDown(kBackspace);
    type("xyz ");
    ASSERT_EQ(considered.size(), 1);
    EXPECT_EQ(considered[0].start, BufStart::bs);
}

TEST_F(Ingestion, EmptyWordAtSpaceIsCountedButNotDecided) {
    type(" ");
    EXPECT_EQ(engine->wordsTyped, 1);
    EXPECT_EQ(stats, QStringList{""});
    EXPECT_TRUE(considered.isEmpty());
}

TEST_F(Ingestion, SentenceEnd) {
    struct Case { const char* word; bool ends; };
    const Case cases[] = {
        {"привет!»", true}, {"»", false}, {"done.", true}, {"what?)\"", true}, {"so…", true}, {"e.g", false},
        {"word", false},
    };
    for (const Case& c : cases) {
        type(QString::fromUtf8(c.word) + " ");
        EXPECT_EQ(engine->atSentenceStart, c.ends) << c.word;
    }
    type("x");
    EXPECT_FALSE(engine->atSentenceStart) << "any typed character clears it";
}

TEST_F(Ingestion, SixtyFifthCharacterDropsTheBuffer) {
    type(QString(64, QLatin1Char('a')));
    EXPECT_EQ(engine->buf.size(), 64);
    type("b");
    EXPECT_EQ(engine->buf, "");
    EXPECT_TRUE(env.logContains("layout/buf: сброс >64 симв. (граница) - диагностика, не правило"));
    type("cd");
    EXPECT_EQ(engine->buf, "cd");
}

TEST_F(Ingestion, AKeyOfTwoCharactersIngestsBoth) {
    int calls = 0;
    steps.tryStartLive = [&] { return ++calls == 1; };
    EXPECT_TRUE(engine->handleKeyDown(key(kLetter, "ab")));
    EXPECT_EQ(engine->buf, "ab");
    EXPECT_EQ(calls, 2);
    // A character outside the basic plane is one character, not two halves.
    engine->handleKeyDown(key(kLetter, QString::fromUtf8("😀")));
    EXPECT_EQ(engine->buf, QString::fromUtf8("ab😀"));
    engine->handleKeyDown(kBackspace);
    EXPECT_EQ(engine->buf, "ab");
}

TEST_F(Ingestion, LiveConversionIsAskedOnlyWhenOn) {
    int asked = 0;
    steps.tryStartLive = [&] { ++asked; return false; };
    type("ab");
    EXPECT_EQ(asked, 2);
    env.defaults().set("layoutLiveConvert", false);
    type("c");
    EXPECT_EQ(asked, 2);
    // A live word goes to the bridge instead.
    engine->liveActive = true;
    QStringList bridged;
    steps.liveType = [&](const QString& ch) { bridged << ch; return true; };
    EXPECT_TRUE(type("d"));
    EXPECT_EQ(bridged, QStringList{"d"});
}

TEST_F(Ingestion, ThreeBackspacesOnAnEmptyBuffer) {
    const bool expected[] = {true, true, false};
    for (bool e : expected) {
        EXPECT_FALSE(engine->handleKeyDown(kBackspace));
        EXPECT_EQ(engine->editingExisting, e);
        EXPECT_EQ(engine->bufStart, BufStart::bs);
    }
    EXPECT_EQ(engine->bsEmptyRun, 3);
}

TEST_F(Ingestion, ShiftBackspaceIsBackspaceOtherModifiersReset) {
    type("ab");
    engine->handleKeyDown(key(51, "\b", KeyFlags::shift));
    EXPECT_EQ(engine->buf, "a");
    engine->handleKeyDown(key(51, "\b", KeyFlags::option));
    EXPECT_EQ(engine->buf, "");
    EXPECT_EQ(engine->bufStart, BufStart::mod);
}

TEST_F(Ingestion, BackspaceAndCommandZAreOfferedToTheUndo) {
    QList<LayoutSwitcher::UndoGesture> offered;
    bool takes = true;
    steps.takeFlipUndo = [&](LayoutSwitcher::UndoGesture g, bool, bool) { offered << g; return takes; };
    type("ab");
    engine->lastCorrection = LayoutSwitcher::PendingCorrection{};
    EXPECT_TRUE(engine->handleKeyDown(kBackspace));
    EXPECT_EQ(engine->buf, "ab");
    EXPECT_TRUE(engine->handleKeyDown(key(6, "z", KeyFlags::command)));

    takes = false;
    EXPECT_FALSE(engine->handleKeyDown(kBackspace));
    EXPECT_EQ(engine->buf, "a");
    EXPECT_FALSE(engine->lastCorrection) << "a Backspace the undo did not take ends the undo";

    // Command-Shift-Z is no undo gesture: a shortcut.
    offered.clear();
    engine->lastCorrection = LayoutSwitcher::PendingCorrection{};
    EXPECT_FALSE(engine->handleKeyDown(key(6, "Z", KeyFlags::command | KeyFlags::shift)));
    EXPECT_TRUE(offered.isEmpty());
    EXPECT_FALSE(engine->lastCorrection);
    EXPECT_EQ(engine->bufStart, BufStart::mod);
}

TEST_F(Ingestion, ATypedCharacterEndsTheUndoButASilentKeyDoesNot) {
    engine->lastCorrection = LayoutSwitcher::PendingCorrection{};
    engine->handleKeyDown(key(kLetter, {}));
    EXPECT_TRUE(engine->lastCorrection);
    steps.keyTruth = [](const InputEvent&, const QString&, bool, bool) { return std::pair{QString(), true}; };
    EXPECT_TRUE(engine->handleKeyDown(key(kLetter, "f")));
    EXPECT_TRUE(engine->lastCorrection) << "a key the key truth swallowed leaves it";
    steps.keyTruth = [](const InputEvent&, const QString&, bool, bool) { return std::pair{QString("а"), false}; };
    engine->handleKeyDown(key(kLetter, "f"));
    EXPECT_FALSE(engine->lastCorrection);
    EXPECT_EQ(engine->buf, "а") << "the characters key truth gives are the ones buffered";
}

TEST_F(Ingestion, ErasingALiveFlippedWordStrikesOnce) {
    engine->liveFlippedWord = true;
    engine->liveActive = true;
    engine->liveRawPeak = "ghbdtn";
    type("пр");
    engine->handleKeyDown(kBackspace);
    engine->handleKeyDown(kBackspace);
    EXPECT_EQ(disagreements, QStringList{"ghbdtn|live-слово стёрто до пустоты"});
    EXPECT_TRUE(engine->liveRetypeVeto);
    EXPECT_FALSE(engine->liveActive);
    engine->handleKeyDown(kBackspace);
    EXPECT_EQ(disagreements.size(), 1);
}

TEST_F(Ingestion, ErasingIntoAFreshFlipStrikesOnceAndAnOldOneStays) {
    engine->liveFlippedWord = true;
    engine->liveRaw = "ghbdtn";
    engine->buf = "привет";
    type(" ");
    ASSERT_TRUE(engine->lastConversionForVeto);
    EXPECT_EQ(engine->lastConversionForVeto->shown, "привет");
    env.advance(60);
    engine->handleKeyDown(kBackspace);
    engine->handleKeyDown(kBackspace);
    EXPECT_EQ(disagreements, QStringList{"ghbdtn|стирание свежей правки"});
    EXPECT_FALSE(engine->lastConversionForVeto);

    disagreements.clear();
    engine->lastConversionForVeto = LayoutSwitcher::LastLayoutConversion{std::nullopt, "x", "y", Clock::shared().now()};
    type("a ");
    env.advance(121);
    engine->handleKeyDown(kBackspace);
    EXPECT_TRUE(disagreements.isEmpty());
    EXPECT_TRUE(engine->lastConversionForVeto);
}

TEST_F(Ingestion, ThirdInputSourceResetsEveryKey) {
    sources.userSelects("xkb:de");
    steps.systemSourceID = [] { return std::optional<QString>("xkb:de"); };
    type("ghbdtn ");
    EXPECT_EQ(engine->buf, "");
    EXPECT_TRUE(considered.isEmpty());
}

TEST_F(Ingestion, TypingDuringDictation) {
    bool recording = true;
    int stops = 0;
    steps.isRecording = [&] { return recording; };
    steps.stopRecording = [&] { ++stops; recording = false; };
    EXPECT_FALSE(engine->handleKeyDown(key(kLetter, "c", KeyFlags::command)));
    EXPECT_EQ(stops, 0);
    type("a");
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(engine->buf, "a");
    EXPECT_TRUE(env.logContains("layout: печать без ⌘ при живой записи — довожу надиктовку до конца"));
}

TEST_F(Ingestion, FirstLetterAfterAClickAsksTheField) {
    int probes = 0;
    steps.scheduleAXEditProbe = [&] { ++probes; };
    type("a");
    EXPECT_EQ(probes, 0) << "a clean start needs no neighbour";
    type(" ");
    engine->noteCursorMoved();
    type("1");
    EXPECT_EQ(probes, 0) << "only a letter asks";
    engine->noteCursorMoved();
    type("ab");
    EXPECT_EQ(probes, 1);
}

TEST_F(Ingestion, CaretWordTakesItsLayoutWhenTheRuleIsOn) {
    QStringList selected;
    auto wire = [&] {
        engine->loaded = true;
        steps.focusedValueAndCaret = [] { return std::optional(std::pair{QStringLiteral("да привет"), 5}); };
        steps.selectExactSource = [&](const QString& s, bool, const std::optional<QString>&,
                                              std::function<void(bool)>) {
            selected << s;
            return true;
        };
    };
    wire();
    engine->noteCursorMoved();
    EXPECT_TRUE(selected.isEmpty()) << "the rule is off by default";
    makeEngine({{"MURMELO_RULE_CARET_WORD_LANG", "1"}});
    wire();
    engine->noteCursorMoved();
    EXPECT_EQ(selected, QStringList{"com.apple.keylayout.Russian"});
    EXPECT_TRUE(env.logContains("layout/каретка: слово 6 симв. ru — беру его раскладку"));
}

}  // namespace

#include "layout/ShadowCoreV2.h"

namespace {

TEST_F(Ingestion, TheShadowComparesTheBoundaryDecision) {
    env.defaults().set("layoutV2Shadow", true);
    ShadowCoreV2::resetSharedForTesting();
    ShadowCoreV2* shadow = ShadowCoreV2::shared();
    ASSERT_TRUE(shadow);
    QStringList lines;
    shadow->lineSink = [&](const QString& l) { lines << l; };
    env.defaults().set("layoutLiveConvert", false);
    type("ghbdtn ");
    EXPECT_EQ(lines.size(), 1);
    ShadowCoreV2::resetSharedForTesting();
}

}  // namespace
