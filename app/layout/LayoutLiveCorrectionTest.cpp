#include "layout/LayoutFlipProbe.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/LayoutTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"

#include <limits>

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

InputEvent key(const QString& text, qint64 code = 0) {
    InputEvent e;
    e.keyCode = code;
    e.unicode = text;
    return e;
}

struct Delivered {
    int erasing;
    QString typing;
    bool operator==(const Delivered&) const = default;
};

// An engine whose decision, word shape and arbiter are fakes: the margins come from a table,
// the arbiter replaces the token and selects the target layout's source.
struct Live : SwitcherFixture, LayoutLiveCorrection::Words {
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutCorrectionApply> apply;
    std::shared_ptr<LayoutBoundaryDecision> decision;
    std::unique_ptr<LayoutLiveCorrection> live;
    QHash<QString, WordAnalysis> readings;  // core -> reading
    QSet<QString> realWords;               // "layout:word"
    QSet<QString> curatedShort;            // "layout:word"
    QSet<QString> prefixVetoed;
    QList<Delivered> delivered;
    QStringList typed, vetoes, selected;
    bool selectionAccepted = true;

    void SetUp() override {
        SwitcherFixture::SetUp();
        test::SimulatedLayouts::forgetAll();
        env.defaults().set("layoutSwitchEnabled", true);
        desktop.addApp("org.notes", "Notes");
        desktop.focus("org.notes");
        build();
    }
    void TearDown() override { test::SimulatedLayouts::forgetAll(); }

    std::optional<WordAnalysis> analyze(const QString& core, const QString&) override {
        if (!readings.contains(core)) return std::nullopt;
        return readings.value(core);
    }
    bool isRealWordInLayout(const QString& w, const QString& l, bool) override { return realWords.contains(l + ":" + w); }
    bool isRealShortWordCurated(const QString& w, const QString& l, bool) override {
        return curatedShort.contains(l + ":" + w);
    }
    bool livePrefixVeto(const QString& w, const QString&) override { return prefixVetoed.contains(w); }
    bool liveStemVeto(const QString&, const QString&) override { return false; }

    // A fresh engine and fakes; every table starts empty.
    void build(const QHash<QString, QString>& vars = {}) {
        readings.clear();
        realWords.clear();
        curatedShort.clear();
        prefixVetoed.clear();
        delivered.clear();
        typed.clear();
        vetoes.clear();
        selected.clear();
        selectionAccepted = true;
        apply.reset();
        live.reset();
        makeEngine(vars);
        engine->loaded = true;
        gates = std::make_unique<LayoutAppGates>(*engine);
        decision = std::make_shared<LayoutBoundaryDecision>(*engine);
        apply = std::make_unique<LayoutCorrectionApply>(*engine, *gates);
        live = std::make_unique<LayoutLiveCorrection>(*engine, *gates, *apply, decision, *this);
        useLiveCorrection(steps, *engine, *live);
        test::PartSlots& s = steps;
        s.selectExactSource = [this](const QString& id, bool, const std::optional<QString>&, std::function<void(bool)>) {
            selected << id;
            return selectionAccepted;
        };
        s.deliver = [this](int erasing, const QString& typing, LayoutSwitcher::UndoTransport) {
            delivered.append({erasing, typing});
            return TextWriteRoute::keyEvent;
        };
        s.sendUnicode = [this](const QString& text, TextWriteOrigin) -> std::optional<TextWriteTraceToken> {
            typed << text;
            return std::nullopt;
        };
        engine->vetoSink = [this](const QString& why) { vetoes << why; };
    }
    // Types the text key by key; what each key answered.
    QList<bool> type(const QString& text) {
        QList<bool> out;
        for (QChar c : text) out << engine->handleKeyDown(key(QString(c)));
        return out;
    }
    bool tryWith(const QString& word) {
        engine->setBuf(word);
        return live->tryStartLive();
    }
};

TEST_F(Live, ThreeLetterWordFlipsAtItsThirdKey) {
    readings["gh"] = {"ru", "пр", 0.5};
    readings["ghb"] = {"ru", "при", 1.09};
    EXPECT_EQ(type("ghb"), (QList<bool>{false, false, true}));
    EXPECT_EQ(delivered, (QList<Delivered>{{2, "при"}}));
    EXPECT_EQ(engine->buf, "при");
    EXPECT_TRUE(engine->liveFlippedWord);
    EXPECT_EQ(engine->liveFlipTarget, "ru");
    EXPECT_EQ(selected, QStringList{ManualInputSourceProfileV1::russianApple});
    ASSERT_TRUE(engine->lastCorrection);
    EXPECT_EQ(engine->lastCorrection->original, "ghb");
    EXPECT_EQ(engine->lastCorrection->converted, "при");
    EXPECT_EQ(engine->lastCorrection->from, "en");
    EXPECT_EQ(engine->lastCorrection->phase, LayoutSwitcher::Phase::live);
    EXPECT_EQ(engine->lastCorrection->frontApp, "Notes");
    EXPECT_FALSE(engine->lastCorrection->didSwitch);
    EXPECT_TRUE(env.logContains("layout: LIVE-флип"));
    const QString flipLine = env.logLines().filter("LIVE-флип").value(0);
    EXPECT_TRUE(flipLine.contains("(ru, TIS запланирован, ")) << flipLine.toStdString();
    EXPECT_TRUE(flipLine.endsWith(", Notes)")) << flipLine.toStdString();
}

TEST_F(Live, TheBridgeTypesTheRestWhenTheSourceDidNotFollow) {
    struct Case {
        const char* name;
        bool accepted;
        QString tailVar;  // MURMELO_RULE_TAIL_BRIDGE
        bool bridged;
    } cases[] = {
        {"refused selection", false, "0", true},
        {"accepted, tail bridge always", true, "", true},
        {"accepted, tail bridge off", true, "0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QHash<QString, QString> vars;
        if (!c.tailVar.isEmpty()) vars["MURMELO_RULE_TAIL_BRIDGE"] = c.tailVar;
        build(vars);
        selectionAccepted = c.accepted;
        readings["ghb"] = {"ru", "при", 2.0};
        type("ghb");
        EXPECT_EQ(engine->liveActive, c.bridged);
        EXPECT_EQ(type("d"), QList<bool>{c.bridged});
        if (c.bridged) {
            EXPECT_EQ(typed, QStringList{"в"});
            EXPECT_EQ(engine->buf, "прив");
        } else {
            EXPECT_TRUE(typed.isEmpty());
        }
        const QStringList flips = env.logLines().filter("LIVE-флип");
        ASSERT_FALSE(flips.isEmpty());
        EXPECT_EQ(flips.last().contains("TIS запрещён, Unicode-мост"), !c.accepted);
    }
}

TEST_F(Live, MarginLadderByLength) {
    struct Case {
        const char* name;
        QString word;
        double margin;
        bool flips;
    } cases[] = {
        {"one letter never", "g", 100.0, false},
        {"two letters below 1.15", "gh", 1.14, false},
        {"two letters at 1.15", "gh", 1.15, true},
        {"four letters at 0.68", "ghbd", 0.68, true},
        {"seven letters need only the tail", "ghbdtnr", 0.31, true},
        {"seven letters below the tail", "ghbdtnr", 0.29, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        build();
        readings[c.word] = {"ru", *LayoutMaps::convert(c.word, "en", "ru"), c.margin};
        EXPECT_EQ(tryWith(c.word), c.flips);
    }
}

TEST_F(Live, ThreeLetterShortWordPassesOnTheFourLetterMarginWhenCurated) {
    readings["ghb"] = {"ru", "при", 0.7};
    EXPECT_FALSE(tryWith("ghb"));
    curatedShort << "ru:при";
    EXPECT_TRUE(tryWith("ghb"));
}

TEST_F(Live, GatesThatKeepTheWord) {
    struct Case {
        const char* name;
        QString word;
        std::function<void(Live&)> arrange;
        QString veto;  // empty: a plain "no flip"
    } cases[] = {
        {"digit in the word", "gh1b", [](Live&) {}, ""},
        {"slash inside", "g/hb", [](Live&) {}, ""},
        {"ampersand", "g&hb", [](Live&) {}, ""},
        {"disagreement veto", "ghb", [](Live& t) { t.engine->disagreementVeto["ghb"] = t.env.clock().now(); },
         "вето·несогласия"},
        {"typed reading is a word", "ghb", [](Live& t) { t.realWords << "en:ghb"; }, ""},
        {"known prefix", "npm", [](Live& t) { t.readings["npm"] = {"ru", "тзь", 5.0}; }, ""},
        {"live prefix", "ghb", [](Live& t) { t.prefixVetoed << "ghb"; }, "живой·префикс"},
        {"capital abbreviation", "QWZ", [](Live& t) { t.readings["QWZ"] = {"ru", "ЙЦЯ", 5.0}; }, "заглавная-аббревиатура"},
        {"the arbiter holds back while a correction writes", "ghb", [](Live& t) { t.engine->acquireEditLock("test", 5); }, ""},
        {"retype vetoed in this word", "ghb", [](Live& t) { t.engine->liveRetypeVeto = true; }, ""},
        {"edit after navigation", "ghb", [](Live& t) { t.engine->bufStart = LayoutSwitcher::BufStart::nav; }, ""},
        {"command-shaped", "gh=b", [](Live& t) { t.readings["gh=b"] = {"ru", "пр=и", 5.0}; }, ""},
        {"foreign input source", "ghb", [](Live& t) { t.steps.systemSourceID = [] { return std::optional<QString>("x"); }; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        build();
        readings["ghb"] = {"ru", "при", 5.0};
        c.arrange(*this);
        EXPECT_FALSE(tryWith(c.word));
        EXPECT_TRUE(delivered.isEmpty());
        EXPECT_EQ(vetoes, c.veto.isEmpty() ? QStringList{} : QStringList{c.veto});
        EXPECT_FALSE(engine->liveFlippedWord);
    }
}

TEST_F(Live, SlashAffixesStayAroundTheConvertedCore) {
    readings["ghb"] = {"ru", "при", 5.0};
    EXPECT_TRUE(tryWith("//ghb"));
    EXPECT_EQ(delivered, (QList<Delivered>{{4, "//при"}}));
    EXPECT_EQ(engine->lastCorrection->original, "//ghb");
}

TEST_F(Live, UrlSchemeSkipsTheLadder) {
    QList<LayoutSwitcher::LiveProbe> probes;
    engine->liveProbeSink = [&](const LayoutSwitcher::LiveProbe& p) { probes << p; };
    steps.systemSourceID = [] { return std::optional<QString>(ManualInputSourceProfileV1::russianApple); };
    EXPECT_FALSE(tryWith("реез"));
    ASSERT_EQ(probes.size(), 1);
    EXPECT_TRUE(probes[0].brandHit);
    EXPECT_EQ(probes[0].margin, std::numeric_limits<double>::max());
    engine->liveProbeSink = nullptr;
    EXPECT_TRUE(tryWith("реез"));
    EXPECT_EQ(delivered, (QList<Delivered>{{3, "http"}}));
}

TEST_F(Live, AProbeObserverSeesEveryCandidateAndNothingIsTyped) {
    QList<LayoutSwitcher::LiveProbe> probes;
    engine->liveProbeSink = [&](const LayoutSwitcher::LiveProbe& p) { probes << p; };
    readings["gh"] = {"ru", "пр", 0.1};
    readings["ghb"] = {"ru", "при", 0.2};
    realWords << "en:ghb";
    EXPECT_EQ(type("ghb"), (QList<bool>{false, false, false}));
    EXPECT_TRUE(delivered.isEmpty());
    ASSERT_EQ(probes.size(), 2);
    EXPECT_EQ(probes[1].core, "ghb");
    EXPECT_EQ(probes[1].current, "en");
    EXPECT_EQ(probes[1].best, "ru");
    EXPECT_EQ(probes[1].converted, "при");
    EXPECT_TRUE(probes[1].floorOK);  // no model loaded
    EXPECT_TRUE(probes[1].prefixOK);
    EXPECT_FALSE(probes[1].dictOK);
    EXPECT_TRUE(probes[0].dictOK);
}

TEST_F(Live, AnObserverOfCorrectionsGetsTheFlipInsteadOfTheField) {
    QList<LayoutSwitcher::CorrectionEvent> events;
    engine->correctionSink = [&](const LayoutSwitcher::CorrectionEvent& e) { events << e; };
    readings["ghb"] = {"ru", "при", 5.0};
    EXPECT_TRUE(tryWith("ghb"));
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_TRUE(selected.isEmpty());
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].word, "ghb");
    EXPECT_EQ(events[0].converted, "при");
    EXPECT_TRUE(events[0].nativeOK);
    EXPECT_TRUE(events[0].switched);
    EXPECT_TRUE(engine->lastCorrection->didSwitch);
}

TEST_F(Live, TheSwitchReceiptMarksTheFlipSwitched) {
    std::function<void(bool)> completion;
    steps.selectExactSource = [&](const QString&, bool, const std::optional<QString>&, std::function<void(bool)> c) {
        completion = std::move(c);
        return true;
    };
    readings["ghb"] = {"ru", "при", 5.0};
    ASSERT_TRUE(tryWith("ghb"));
    EXPECT_FALSE(engine->lastCorrection->didSwitch);
    ASSERT_TRUE(completion);
    completion(true);
    EXPECT_TRUE(engine->lastCorrection->didSwitch);
}

TEST_F(Live, BridgeConvertsLettersAndMirroredSignsOnly) {
    struct Case {
        const char* name;
        QString ch;
        QString sent;
    } cases[] = {
        {"letter", "d", "в"},
        {"comma key gives a letter", ",", "б"},
        {"digit stays", "1", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->liveActive = true;
        engine->liveLayout = "ru";
        engine->lastKeyTruth = "en";
        engine->setBuf("при" + c.ch);
        typed.clear();
        EXPECT_TRUE(live->liveType(c.ch));
        EXPECT_EQ(typed, QStringList{c.sent});
        EXPECT_EQ(engine->buf, "при" + c.sent);
    }
}

TEST_F(Live, CodeCharacterAfterAFlipRestoresTheRawKeys) {
    for (bool ruleOn : {false, true}) {
        SCOPED_TRACE(ruleOn ? "rule on" : "rule off");
        build(ruleOn ? QHash<QString, QString>{{"MURMELO_RULE_CODE_UNDO", "1"}} : QHash<QString, QString>{});
        readings["ghb"] = {"ru", "при", 5.0};
        selectionAccepted = false;
        type("ghb");
        delivered.clear();
        typed.clear();
        EXPECT_EQ(type("1"), QList<bool>{true});  // swallowed either way: undone, or typed by the bridge
        if (ruleOn) {
            EXPECT_EQ(delivered, (QList<Delivered>{{3, "ghb1"}}));
            EXPECT_EQ(engine->buf, "ghb1");
            EXPECT_TRUE(engine->liveRetypeVeto);
            EXPECT_FALSE(engine->liveFlippedWord);
            EXPECT_FALSE(engine->liveActive);
            EXPECT_TRUE(env.logContains("(улика кода «1»)"));
        } else {
            EXPECT_TRUE(delivered.isEmpty());
            EXPECT_EQ(typed, QStringList{"1"});
        }
    }
}

TEST_F(Live, DictionaryEvidenceRevertsAtTheSpace) {
    struct Case {
        const char* name;
        QStringList words;
        bool reverted;
    } cases[] = {
        {"typed reading is a word, flipped is not", {"en:this"}, true},
        {"both readings are words", {"en:this", "ru:ершы"}, false},
        {"typed reading is no word", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        build();
        realWords = QSet<QString>(c.words.begin(), c.words.end());
        QStringList considered;
        steps.consider = [&](const QString& w, QChar, LayoutSwitcher::BufStart, bool) {
            considered << w;
            return false;
        };
        engine->setBuf("ершы");
        engine->liveFlippedWord = true;
        engine->liveFlipTarget = "ru";
        engine->handleKeyDown(key(" ", 49));
        if (c.reverted) {
            EXPECT_EQ(delivered, (QList<Delivered>{{4, "this"}}));
            EXPECT_EQ(considered, QStringList{"this"});
            EXPECT_TRUE(env.logContains("(улика словаря)"));
        } else {
            EXPECT_TRUE(delivered.isEmpty());
        }
    }
}

TEST_F(Live, FlipProbeOutcomes) {
    readings["ghb"] = {"ru", "при", 5.0};
    readings["ghbd"] = {"ru", "прив", 5.0};
    selectionAccepted = false;

    // Five letters through the bridge.
    type("ghb");
    env.advance(0.25);
    type("dtnbr");
    EXPECT_TRUE(env.logContains("layout/флип-затем: исход=печать-дальше, букв 5, bs 0, слово 3 симв., первое событие через 250 мс"));

    // A Backspace, then a letter.
    type(" ");
    type("ghb");
    engine->lastCorrection.reset();  // the flip is no longer undoable: the Backspace only erases
    engine->handleKeyDown(key("\b", 51));
    type("d");
    EXPECT_TRUE(env.logContains("исход=буквы-после-стирания, букв 0, bs 1, слово 3 симв."));

    // The whole flipped word erased.
    type(" ");
    type("ghb");
    for (int i = 0; i < 3; ++i) {
        engine->lastCorrection.reset();
        engine->handleKeyDown(key("\b", 51));
    }
    EXPECT_TRUE(env.logContains("исход=стёр-всё-слово, букв 0, bs 3, слово 3 симв."));
}

TEST_F(Live, FlipProbeClosesOnANewFlipAndOnEndEvents) {
    LayoutSwitcher& e = *engine;
    LayoutFlipProbe::start(e, 3);
    LayoutFlipProbe::start(e, 4);
    EXPECT_TRUE(env.logContains("исход=новый-флип, букв 0, bs 0, слово 3 симв."));
    env.advance(0.1);
    engine->noteCursorMoved();
    EXPECT_TRUE(env.logContains("исход=клик, букв 0, bs 0, слово 4 симв., первое событие через 100 мс"));
    const int lines = env.logLines().size();
    LayoutFlipProbe::end(e, "граница");  // closed: nothing more
    EXPECT_EQ(env.logLines().size(), lines);
}

}  // namespace
