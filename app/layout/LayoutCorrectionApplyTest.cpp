#include "layout/LayoutWritingTestSupport.h"

#include "input/SyntheticInputPostGate.h"

using namespace murmelo;
using namespace murmelo::test;
using Kind = LayoutSwitcher::CorrectionKind;
using Gesture = LayoutSwitcher::UndoGesture;
using Pending = LayoutSwitcher::PendingCorrection;

namespace {

constexpr quint64 kShift = KeyFlags::shift;
constexpr quint64 kCommand = KeyFlags::command;

struct Apply : WritingRig {
    QList<LayoutSwitcher::CorrectionEvent> events;

    // The user typed the word; its boundary key is still in the engine's hands.
    bool correctTyped(const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout,
                      Kind kind = Kind::layout, const EditRights& rights = EditRights::clean()) {
        typed(fieldText() + word);
        return apply->correct(word, to, boundary, layout, true, rights, kind);
    }
    // The boundary decision, reduced to "this word is Russian typed on US keys".
    void decideGhbdtn() {
        steps.consider = [this](const QString& word, QChar boundary, LayoutSwitcher::BufStart start, bool) {
            if (word != "ghbdtn") return false;
            return steps.correct(word, "привет", boundary, "ru", true, EditRights(start), Kind::layout);
        };
    }
    std::vector<KeyEvent> downs() const {
        std::vector<KeyEvent> out;
        for (const KeyEvent& e : keys.posted())
            if (e.keyDown) out.push_back(e);
        return out;
    }
    int backspacesPosted() const {
        int n = 0;
        for (const KeyEvent& e : downs()) n += e.keyCode == Keys::backspace && e.unicode.isEmpty();
        return n;
    }
    int pastesPosted() const {
        int n = 0;
        for (const KeyEvent& e : downs()) n += e.keyCode == 9 && (e.flags & kCommand);
        return n;
    }
};

TEST_F(Apply, ACorrectionRetypesTheWordAndSwitchesTheSourceAMomentLater) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    EXPECT_EQ(fieldText(), "привет ");
    EXPECT_EQ(backspacesPosted(), 6) << "the boundary never reached the field";
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    ASSERT_TRUE(engine->lastCorrection);
    EXPECT_FALSE(engine->lastCorrection->didSwitch);
    EXPECT_EQ(engine->lastCorrection->previousSourceID, std::optional<QString>(US));
    EXPECT_EQ(engine->lastCorrection->from, "en");
    EXPECT_EQ(engine->lastCorrection->frontApp, "Kate");
    EXPECT_TRUE(env.logContains("layout: исправлено "));
    EXPECT_TRUE(env.logContains("(ru, раскладка запланирована: ждём exact receipt, Kate)"));
    EXPECT_EQ(engine->recentLang, std::optional<QString>("ru"));
    EXPECT_EQ(engine->prevWord(), "привет");
    ASSERT_TRUE(engine->lastConversionForVeto);
    EXPECT_EQ(engine->lastConversionForVeto->shown, "привет");
    EXPECT_FALSE(engine->isCorrecting());

    env.advance(LayoutSwitcher::layoutSelectionDelay + 0.01);
    EXPECT_EQ(sources.selectCalls, QStringList{RU});
    EXPECT_TRUE(engine->lastCorrection->didSwitch) << "the receipt arrived";
    EXPECT_EQ(cues, QStringList{"ru"});
    env.advance(1);
    EXPECT_FALSE(env.logContains("layout/audit")) << "the correction stands in the field";
}

TEST_F(Apply, TheArbitersRefusals) {
    typed("ghbdtn");
    steps.isRemoteDesktopFrontmost = [] { return true; };
    EXPECT_FALSE(apply->correct("ghbdtn", "привет", QChar(' '), "ru", true));
    EXPECT_TRUE(env.logContains("пропущена — удалённый рабочий стол (синтетический ввод туда не доходит)"));
    steps.isRemoteDesktopFrontmost = {};

    steps.systemSourceID = [] { return std::optional<QString>("com.apple.keylayout.German"); };
    EXPECT_FALSE(apply->correct("ghbdtn", "привет", QChar(' '), "ru", true));
    EXPECT_TRUE(env.logContains("пропущена — текущий input source вне профиля english-us-russian-apple.v1"));
    steps.systemSourceID = {};

    const std::optional<quint64> lock = engine->acquireEditLock("polish", 5);
    EXPECT_FALSE(apply->correct("ghbdtn", "привет", QChar(' '), "ru", true));
    engine->releaseEditLock(*lock);
    EXPECT_EQ(fieldText(), "ghbdtn");
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_FALSE(engine->lastCorrection);
}

TEST_F(Apply, TheNoteSaysWhyTheSourceStayed) {
    struct Case {
        const char* name;
        std::function<void(Apply&)> setUp;
        QString word, to, layout;
        EditRights rights;
        QString note;
    } cases[] = {
        {"native switch off", [](Apply& a) { a.env.defaults().set("layoutNativeSwitch", false); }, "ghbdtn", "привет",
         "ru", EditRights::clean(), ", раскладка не тронута: native-режим выключен"},
        {"edit of existing text", [](Apply&) {}, "ghbdtn", "привет", "ru", EditRights(LayoutSwitcher::BufStart::click),
         ", раскладка не тронута: режим правки"},
        {"English needs context", [](Apply&) {}, "руддщ", "hello", "en", EditRights::clean(),
         ", раскладка не тронута: язык не подтверждён окружением (одно слово)"},
    };
    for (const Case& c : cases) {
        env.defaults().set("layoutNativeSwitch", true);
        c.setUp(*this);
        ASSERT_TRUE(correctTyped(c.word, c.to, QChar(' '), c.layout, Kind::layout, c.rights)) << c.name;
        EXPECT_TRUE(env.logContains(c.note + ", Kate)")) << c.name;
    }
    EXPECT_TRUE(sources.selectCalls.isEmpty());
}

TEST_F(Apply, AnEditWordHoldsTheSourceOneMoreWord) {
    engine->wordsTyped = 4;
    ASSERT_TRUE(correctTyped("ghb", "при", QChar(' '), "ru", Kind::layout, EditRights(LayoutSwitcher::BufStart::click)));
    EXPECT_EQ(engine->nativeHoldUntilWord, 5);
    EXPECT_TRUE(engine->nativeHoldActive());
    EXPECT_FALSE(engine->recentLang) << "an edit gives no language context";
}

TEST_F(Apply, ACorrectionAtALineEndCannotBeUndone) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar('\n'), "ru"));
    EXPECT_EQ(fieldText(), "привет\n");
    EXPECT_FALSE(engine->lastCorrection);
    EXPECT_FALSE(apply->takeFlipUndo(Gesture::backspace, true, true));
}

TEST_F(Apply, TheObserverHookSeesTheCorrectionAndNothingIsTyped) {
    engine->correctionSink = [this](const LayoutSwitcher::CorrectionEvent& e) { events << e; };
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    env.advance(1);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].switched);
    EXPECT_TRUE(events[0].reasonCodes.contains("source.select_exact"));
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    ASSERT_TRUE(engine->lastCorrection);
    EXPECT_TRUE(engine->lastCorrection->didSwitch);

    // The undo then only updates the engine's state.
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, true));
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    EXPECT_FALSE(engine->lastCorrection);
    EXPECT_EQ(engine->recentLang, std::optional<QString>("en"));
}

TEST_F(Apply, TheUndoGate) {
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1'800'000'000);
    Pending boundary;
    boundary.at = t0;
    Pending live = boundary;
    live.phase = LayoutSwitcher::Phase::live;
    struct Case {
        const char* name;
        const Pending* pending;
        Gesture gesture;
        bool ruleOn;
        double after;
        bool sameApp;
        bool takes;
    } cases[] = {
        {"Backspace at 1.9 s", &boundary, Gesture::backspace, false, 1.9, true, true},
        {"Backspace at 2.0 s", &boundary, Gesture::backspace, true, 2.0, true, false},
        {"Command-Z with the rule", &boundary, Gesture::commandZ, true, 0.5, true, true},
        {"Command-Z without it", &boundary, Gesture::commandZ, false, 0.5, true, false},
        {"live flip, same application, late", &live, Gesture::backspace, true, 60, true, true},
        {"live flip, other application", &live, Gesture::backspace, true, 0.1, false, false},
        {"live flip, rule off", &live, Gesture::commandZ, false, 0.1, true, false},
        {"no record", nullptr, Gesture::backspace, true, 0.1, true, false},
    };
    for (const Case& c : cases) {
        const std::optional<Pending> p = c.pending ? std::optional(*c.pending) : std::nullopt;
        EXPECT_EQ(LayoutCorrectionApply::undoGestureTakes(p, c.gesture, c.ruleOn, t0.addMSecs(qint64(c.after * 1000)),
                                                          LayoutSwitcher::undoMaxAge, c.sameApp),
                  c.takes)
            << c.name;
    }
}

// One-gesture undo: the five letters and the space go, and the word with its space comes
// back in one paste; without it the same erase is followed by typed text and a typed space.
TEST_F(Apply, UndoRestoresTheWordInOneGestureOrByKeys) {
    for (const bool oneGesture : {true, false}) {
        SCOPED_TRACE(oneGesture);
        typed("");
        keys.clearPosted();
        sources.userSelects(RU);
        env.runPending();
        ASSERT_TRUE(correctTyped("руддщ", "hello", QChar(' '), "en"));
        EXPECT_EQ(fieldText(), "hello ");
        keys.clearPosted();
        EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, oneGesture));
        env.advance(2);
        EXPECT_EQ(fieldText(), "руддщ ");
        EXPECT_EQ(backspacesPosted(), 6);
        EXPECT_EQ(pastesPosted(), oneGesture ? 1 : 0);
        QStringList typedText;
        for (const KeyEvent& e : downs())
            if (!e.unicode.isEmpty()) typedText << e.unicode;
        EXPECT_EQ(typedText, oneGesture ? QStringList{} : (QStringList{"р", "у", "д", "д", "щ", " "}));
        EXPECT_FALSE(engine->lastCorrection);
        EXPECT_EQ(engine->recentLang, std::optional<QString>("ru"));
    }
    EXPECT_EQ(disagreements, (QStringList{"руддщ|откат жестом, ru", "руддщ|откат жестом, ru"}));
}

TEST_F(Apply, UndoBringsBackTheSourceTheCorrectionChanged) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    env.advance(0.2);
    ASSERT_TRUE(engine->lastCorrection->didSwitch);
    sources.selectCalls.clear();
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, true));
    env.advance(0.2);
    EXPECT_EQ(sources.selectCalls, QStringList{US});
    EXPECT_EQ(cues, (QStringList{"ru", "rollback"}));
}

// The undo also disarms the switch's bridging and verification: the next English word is
// neither retyped in Russian nor re-selected into it.
TEST_F(Apply, AnUndoBeforeTheSwitchRanDropsIt) {
    decideGhbdtn();
    typeThrough("ghbdtn ");
    ASSERT_EQ(fieldText(), "привет ");
    EXPECT_TRUE(pressThrough(keyEvent(Keys::backspace, "\b")));
    env.advance(1.5);
    EXPECT_EQ(fieldText(), "ghbdtn ");
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    EXPECT_EQ(sources.currentSource()->id, US);
    keys.clearPosted();
    typeThrough("ok");
    EXPECT_EQ(fieldText(), "ghbdtn ok");
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_FALSE(env.logContains("не доехал"));
    env.advance(1);
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    EXPECT_EQ(cues, QStringList{});
}

// Command-Z then the left Command let go at once, before the rollback's selection ran: the
// release is the end of the user's own gesture and does not cancel the rollback.
TEST_F(Apply, ACommandZRollbackSurvivesAQuickReleaseOfCommand) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    env.advance(0.2);
    ASSERT_TRUE(engine->lastCorrection->didSwitch);
    sources.selectCalls.clear();
    engine->noteLeftCommandChanged(true);
    EXPECT_TRUE(press(keyEvent(Keys::z, "z", kCommand)));
    env.advance(0.03);
    engine->noteLeftCommandChanged(false);
    env.advance(0.2);
    EXPECT_EQ(sources.selectCalls, QStringList{US});
    EXPECT_EQ(sources.currentSource()->id, US);
    EXPECT_EQ(cues, (QStringList{"ru", "rollback"}));
}

TEST_F(Apply, WhatAnUndoTeaches) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, true));
    EXPECT_EQ(disagreements, QStringList{"ghbdtn|откат жестом, en"});
    EXPECT_FALSE(engine->exceptions.contains("ghbdtn"));

    // A spelling fix (the fixer is switched off, so the record is made here) becomes an
    // exception at its first undo.
    Pending spell;
    spell.original = "Cjdtn";
    spell.converted = "Совет";
    spell.boundary = QChar(' ');
    spell.kind = Kind::spell;
    spell.frontApp = "Kate";
    spell.at = env.clock().now();
    typed("Совет ");
    engine->lastCorrection = spell;
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, false));
    EXPECT_EQ(fieldText(), "Cjdtn ");
    EXPECT_TRUE(engine->exceptions.contains("cjdtn"));
    EXPECT_TRUE(env.logContains("layout: ОТКАТ орфо -> "));
    EXPECT_EQ(disagreements.size(), 1);
}

TEST_F(Apply, ALiveFlipUndoPutsTheWordBackIntoTheBuffer) {
    Pending p;
    p.id = QUuid::createUuid();
    p.original = "ghb";
    p.converted = "при";
    p.from = "en";
    p.previousSourceID = US;
    p.phase = LayoutSwitcher::Phase::live;
    p.frontApp = "Kate";
    p.at = env.clock().now();
    typed("при");
    engine->lastCorrection = p;
    engine->liveActive = true;
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, true));
    env.advance(2);
    EXPECT_EQ(fieldText(), "ghb");
    EXPECT_EQ(engine->buf, "ghb");
    EXPECT_TRUE(engine->liveRetypeVeto);
    EXPECT_FALSE(engine->liveActive);
    EXPECT_EQ(engine->undoneWordPrefix, std::optional<QString>("ghb"));
    EXPECT_EQ(disagreements, QStringList{"ghb|откат live-флипа"});
}

TEST_F(Apply, ALateReceiptChangesNothing) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    const std::function<void(bool)> stale = apply->switchReceipt(QUuid::createUuid(), RU);
    stale(true);
    EXPECT_FALSE(engine->lastCorrection->didSwitch);
    apply->switchReceipt(engine->lastCorrection->id, US)(true);
    EXPECT_FALSE(engine->lastCorrection->didSwitch) << "another target";
}

// The boundary key goes out as it was pressed: Shift-Return stays a soft line break and Tab
// stays the Tab key, where a bare Return or a tab character would do something else.
TEST_F(Apply, TheBoundaryKeyIsReplayedWithItsModifiers) {
    decideGhbdtn();
    struct Case {
        const char* name;
        InputEvent boundary;
        QString field;
    } cases[] = {
        {"Shift-Return", keyEvent(Keys::ret, "\r", kShift), "привет\n"},
        {"Tab", keyEvent(Keys::tab, "\t"), "привет\t"},
    };
    for (const Case& c : cases) {
        typed("");
        typeThrough("ghbdtn");
        keys.clearPosted();
        EXPECT_TRUE(pressThrough(c.boundary)) << c.name;
        EXPECT_EQ(fieldText(), c.field) << c.name;
        const std::vector<KeyEvent> d = downs();
        ASSERT_FALSE(d.empty()) << c.name;
        EXPECT_EQ(d.back().keyCode, c.boundary.keyCode) << c.name;
        EXPECT_EQ(d.back().flags, c.boundary.flags) << c.name;
        EXPECT_TRUE(d.back().unicode.isEmpty()) << c.name << ": a key, not text";
        // Back to where the next case starts: the user's own US layout, no own switch pending.
        sources.userSelects(US);
        env.advance(LayoutSwitcher::verifyWindow + 1);
    }
}

// Undo of a correction made at Tab retypes the Tab key too.
TEST_F(Apply, AKeysUndoRetypesTheBoundaryKey) {
    decideGhbdtn();
    typeThrough("ghbdtn");
    pressThrough(keyEvent(Keys::tab, "\t"));
    keys.clearPosted();
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, false));
    EXPECT_EQ(fieldText(), "ghbdtn\t");
    EXPECT_EQ(downs().back().keyCode, Keys::tab);
}

// A Backspace or Command-Z whose undo the arbiter refuses did nothing: it reaches the
// application instead of vanishing.
TEST_F(Apply, AnUndoGestureThatUndidNothingIsLetThrough) {
    decideGhbdtn();
    typeThrough("ghbdtn ");
    ASSERT_EQ(fieldText(), "привет ");
    const std::optional<quint64> lock = engine->acquireEditLock("polish", 5);
    keys.clearPosted();
    EXPECT_FALSE(pressThrough(keyEvent(Keys::backspace, "\b")));
    EXPECT_EQ(fieldText(), "привет") << "the Backspace erased the space as usual";
    EXPECT_FALSE(engine->lastCorrection);
    EXPECT_TRUE(keys.posted().empty());
    engine->releaseEditLock(*lock);

    env.advance(LayoutSwitcher::verifyWindow + 1);  // the first correction's own switch is over
    typeThrough("x ghbdtn ");
    ASSERT_TRUE(engine->lastCorrection);
    steps.systemSourceID = [] { return std::optional<QString>("com.apple.keylayout.German"); };
    EXPECT_FALSE(press(keyEvent(Keys::z, "z", kCommand)));
    EXPECT_FALSE(engine->lastCorrection);
}

TEST_F(Apply, TheDeliveryAuditReportsARemnantAndALoss) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    field->value = "ghbпривет ";
    env.advance(0.2);
    EXPECT_TRUE(env.logContains("⚠ layout/audit: перед впечатанным осталась буква — недостёртый остаток (класс «аfood», Kate): "));

    env.advance(2);
    typed("");
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    field->value = "something else";
    env.advance(0.2);
    EXPECT_FALSE(env.logContains("впечатанное не найдено")) << "our keys may still wait for the user's key";
    env.advance(LayoutCorrectionApply::auditRetryDelay);
    EXPECT_TRUE(env.logContains("⚠ layout/audit: впечатанное не найдено в хвосте поля (ожидал 6 симв., хвост 14 симв., Kate)"));
    EXPECT_FALSE(engine->lastConversionForVeto);
}

// The correction lands a little late (its keys waited for the user to let go of one): the
// second look finds it, and nothing is reported.
TEST_F(Apply, ACorrectionThatLandsBeforeTheSecondLookIsNoLoss) {
    ASSERT_TRUE(correctTyped("ghbdtn", "привет", QChar(' '), "ru"));
    field->value = "ghbdtn ";
    env.advance(0.2);
    field->value = "привет ";
    env.advance(LayoutCorrectionApply::auditRetryDelay);
    EXPECT_FALSE(env.logContains("layout/audit")) << env.logText().toStdString();
}

// A correction the user undid is not in the field by design: no loss is reported.
TEST_F(Apply, AnUndoneCorrectionIsNotAudited) {
    decideGhbdtn();
    typeThrough("ghbdtn ");
    ASSERT_EQ(fieldText(), "привет ");
    EXPECT_TRUE(apply->takeFlipUndo(Gesture::backspace, true, false));
    EXPECT_EQ(fieldText(), "ghbdtn ");
    env.advance(1);
    EXPECT_FALSE(env.logContains("layout/audit")) << env.logText().toStdString();
}

}  // namespace
