#include "input/AXText.h"
#include "input/DeliveryAudit.h"
#include "layout/LayoutFieldProbe.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/LayoutTestSupport.h"
#include "sim/SimAccessibility.h"

#include <future>

using namespace murmelo;
using murmelo::test::SwitcherFixture;
using Kind = AXProbeReading::Kind;

namespace {

InputEvent key(const QString& text) {
    InputEvent e;
    e.unicode = text;
    return e;
}

// An engine with the field probe bound, over the simulated desktop: "Notes" in front with
// one text field.
struct FieldProbe : SwitcherFixture {
    sim::SimAccessibility ax{desktop};
    ScopedService<Accessibility> axScope{ax};
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutFieldProbe> probe;
    std::shared_ptr<sim::SimField> field;

    void SetUp() override {
        SwitcherFixture::SetUp();
        test::SimulatedLayouts::forgetAll();
        AXText::resetForTesting();
        env.defaults().set("layoutSwitchEnabled", true);
        engine->loaded = true;
        gates = std::make_unique<LayoutAppGates>(*engine);
        probe = std::make_unique<LayoutFieldProbe>(*engine, *gates);
        useFieldProbe(steps, *probe);
        desktop.addApp("org.notes", "Notes");
        field = desktop.addField("org.notes");
        desktop.focus("org.notes", field);
    }
    void TearDown() override {
        LayoutFieldProbe::waitForReads();
        AXText::resetForTesting();
        test::SimulatedLayouts::forgetAll();
    }
    void show(const QString& text, qsizetype caret) {
        field->value = text;
        field->select(caret);
    }
    // Lets a scheduled probe start, read on its thread and finish on the main queue.
    void runProbe(double delay = LayoutFieldProbe::probeDelay) {
        env.advance(delay);
        LayoutFieldProbe::waitForReads();
        env.runPending();
    }
    QStringList probeLines() const { return env.logLines().filter("layout/ax-зонд: "); }
    void arm(const QString& app = "Notes") {
        engine->screenTruth = ScreenTruthVerdict{"en", "ru"};
        engine->screenTruthAt = env.clock().now();
        engine->screenTruthApp = app;
    }
};

TEST_F(FieldProbe, ReaderOutcomes) {
    struct Case {
        const char* name;
        std::function<void(FieldProbe&)> arrange;
        Kind kind;
        qint64 caret;
        qint64 length;
        QString stage;
        AXError error;
    } cases[] = {
        {"value and caret", [](FieldProbe&) {}, Kind::ok, 3, 0, "", AXError::success},
        {"no focused element", [](FieldProbe& t) { t.desktop.app("org.notes")->focused = nullptr; }, Kind::noFocus, -1, 0, "",
         AXError::success},
        {"value unreadable", [](FieldProbe& t) { t.field->valueReadable = false; }, Kind::noValue, 3, 0, "", AXError::success},
        {"caret unreadable", [](FieldProbe& t) { t.field->selectionReadable = false; }, Kind::noCaret, -1, 5, "",
         AXError::success},
        {"slow focus", [](FieldProbe& t) { t.desktop.app("org.notes")->focusReadDelay = 0.8; }, Kind::timeout, -1, 0, "focus",
         AXError::success},
        {"slow field", [](FieldProbe& t) { t.field->readDelay = 0.8; }, Kind::timeout, -1, 0, "value", AXError::success},
        {"a field just inside the time-out", [](FieldProbe& t) { t.field->readDelay = 0.4; }, Kind::ok, 3, 0, "",
         AXError::success},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        field = desktop.addField("org.notes");
        desktop.app("org.notes")->focusReadDelay = 0;
        desktop.focus("org.notes", field);
        show("ghbdt", 3);
        c.arrange(*this);
        const AXProbeReading r = AXProbeReader::read(desktop.app("org.notes")->identity.pid, LayoutFieldProbe::axProbeTimeout);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.caret, c.caret);
        if (c.kind == Kind::noCaret) {
            EXPECT_EQ(r.length, c.length);
        }
        EXPECT_EQ(r.stage, c.stage);
        EXPECT_EQ(r.error, c.error);
        if (c.kind == Kind::ok) {
            EXPECT_EQ(r.text, "ghbdt");
        }
    }
    EXPECT_EQ(AXProbeReader::read(99999, 0.5f).kind, Kind::noFocus);
}

// A backend that cannot ask one application for its focus (as on the desktop bus) answers
// the desktop's focus when the application owns it.
TEST_F(FieldProbe, ReaderOverABackendWithOnlyTheDesktopFocus) {
    struct DesktopFocusOnly : sim::SimAccessibility {
        using SimAccessibility::SimAccessibility;
        AXElementPtr focusedElementOf(const AXElement& app, AXError* error) override {
            return Accessibility::focusedElementOf(app, error);
        }
    } desktopOnly{desktop};
    ScopedService<Accessibility> scope{desktopOnly};
    show("ghb", 3);
    desktop.addField("org.mail");  // running, but not in front
    EXPECT_EQ(AXProbeReader::read(desktop.app("org.notes")->identity.pid, 0.5f).kind, Kind::ok);
    const AXProbeReading background = AXProbeReader::read(desktop.app("org.mail")->identity.pid, 0.5f);
    EXPECT_EQ(background.kind, Kind::noFocus);
    EXPECT_EQ(background.error, AXError::success);
}

TEST_F(FieldProbe, EditProbeAtTheStartOfAFieldMatches) {
    show("g", 1);
    engine->bufStart = LayoutSwitcher::BufStart::click;
    engine->handleKeyDown(key("g"));
    runProbe();
    ASSERT_EQ(probeLines().size(), 1);
    EXPECT_TRUE(probeLines()[0].contains("layout/ax-зонд: Notes ax=ok слева=начало-поля совп=да len=1 caret=1 слово=1 "));
    EXPECT_TRUE(probeLines()[0].endsWith("мс поп=1 (клик/хоткей)"));
    EXPECT_FALSE(engine->axProbeInFlight);
}

TEST_F(FieldProbe, EditProbeOnlyForWordsThatAskTheField) {
    show("a g", 3);
    engine->handleKeyDown(key("g"));  // a clean word
    runProbe();
    EXPECT_TRUE(probeLines().isEmpty());

    engine->handleKeyDown(key(" "));
    engine->bufStart = LayoutSwitcher::BufStart::bs;
    engine->handleKeyDown(key("g"));
    runProbe();
    ASSERT_EQ(probeLines().size(), 1);
    EXPECT_TRUE(probeLines()[0].contains("слева=пробел совп=да"));
    EXPECT_TRUE(probeLines()[0].endsWith("(backspace/стрелки)"));
}

TEST_F(FieldProbe, MismatchArmsScreenTruthAndOneWordIsDecidedByIt) {
    engine->setBuf("ghbdtn");
    show("привет", 6);
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    EXPECT_TRUE(env.logContains("совп=нет len=6 caret=6 слово=6"));
    EXPECT_TRUE(env.logContains("layout/экран: поле в ru, буфер в en - беру правду с экрана [Notes] (6 симв.)"));
    ASSERT_TRUE(engine->screenTruth);
    EXPECT_EQ(*engine->screenTruth, (ScreenTruthVerdict{"en", "ru"}));

    EXPECT_EQ(steps.screenTruthWord("ghbdtn"), "привет");
    EXPECT_TRUE(env.logContains("решаю по экрану (за сессию 1)"));
    EXPECT_FALSE(engine->screenTruth);
    EXPECT_EQ(engine->screenTruthUsed, 1u);
    EXPECT_EQ(steps.screenTruthWord("ghbdtn"), "ghbdtn");

    // The word taken from the screen is checked again a moment later.
    show("привет ", 7);
    engine->setBuf("ghbdtn");
    runProbe(LayoutFieldProbe::afterScreenWordDelay);
    EXPECT_TRUE(probeLines().last().endsWith("(после правки по экрану)"));
}

TEST_F(FieldProbe, MismatchProbesAreRateLimited) {
    engine->setBuf("ghb");
    show("ghb", 3);
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    EXPECT_EQ(probeLines().size(), 1);
    env.advance(LayoutRules::screenTruthProbeGap);
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    EXPECT_EQ(probeLines().size(), 2);
}

TEST_F(FieldProbe, CaretBeforeTheWordEndIsOutOfBounds) {
    engine->setBuf("ghb");
    show("при", 1);
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    ASSERT_EQ(probeLines().size(), 1);
    EXPECT_TRUE(probeLines()[0].contains("ax=ok len=3 caret=1 слово=3 → oob "));
    EXPECT_FALSE(engine->screenTruth);
}

TEST_F(FieldProbe, AReadingOvertakenByTypingIsStale) {
    for (bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "a key was typed" : "the word changed");
        engine->lastScreenProbeAt = QDateTime();
        engine->setBuf("ghbdtn");
        show("привет", 6);
        // The read waits until the user has typed on.
        std::promise<void> typedOn;
        std::shared_future<void> release = typedOn.get_future().share();
        probe->axProbeReader = [release](qint64 pid, float timeout) {
            release.wait();
            return AXProbeReader::read(pid, timeout);
        };
        probe->scheduleAXProbeOnMismatch();
        env.advance(LayoutFieldProbe::probeDelay);
        ASSERT_TRUE(engine->axProbeInFlight);
        if (byKey) DeliveryAudit::noteUserTyped();
        else engine->setBuf("ghbdtnb");
        typedOn.set_value();
        LayoutFieldProbe::waitForReads();
        env.runPending();
        EXPECT_TRUE(probeLines().last().contains("ax=устарел - буфер сменился за "));
        EXPECT_FALSE(engine->screenTruth);
    }
    EXPECT_EQ(engine->axProbeStale, 2u);
    EXPECT_TRUE(probeLines().last().endsWith("(расхождение), за сессию 2"));
}

TEST_F(FieldProbe, NoFocusedElementIsAskedOnceMore) {
    desktop.app("org.notes")->focused = nullptr;
    engine->setBuf("ghb");
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    EXPECT_TRUE(probeLines().isEmpty());
    runProbe(LayoutFieldProbe::noFocusRetryDelay);
    ASSERT_EQ(probeLines().size(), 1);
    EXPECT_EQ(probeLines()[0].mid(probeLines()[0].indexOf("layout/")),
              "layout/ax-зонд: Notes ax=нет-фокуса ×2 err=0 (расхождение)");
    runProbe(1.0);
    EXPECT_EQ(probeLines().size(), 1);  // no third attempt
}

TEST_F(FieldProbe, OnlyOneReadInFlight) {
    engine->setBuf("ghb");
    engine->axProbeInFlight = true;
    for (int i = 0; i < 100; ++i) probe->startAXProbe("расхождение", false, 1);
    EXPECT_EQ(engine->axProbeDropped, 100u);
    const QStringList busy = env.logLines().filter("ax=занят - другой зонд ещё в полёте, пропущено ");
    ASSERT_EQ(busy.size(), 3);
    EXPECT_TRUE(busy[0].endsWith("пропущено 1 (расхождение)"));
    EXPECT_TRUE(busy[1].endsWith("пропущено 50 (расхождение)"));
    EXPECT_TRUE(busy[2].endsWith("пропущено 100 (расхождение)"));
}

TEST_F(FieldProbe, ATimeOutIsCountedAndSaysItDoesNotKnow) {
    engine->setBuf("ghb");
    field->readDelay = 2.0;
    ax.onBlockingRead = [this](double seconds) { env.clock().advance(seconds); };
    probe->scheduleAXProbeOnMismatch();
    runProbe();
    EXPECT_EQ(engine->axProbeTimeouts, 1u);
    ASSERT_EQ(probeLines().size(), 1);
    EXPECT_TRUE(probeLines()[0].endsWith("ax=таймаут стадия=value 500мс поп=1 (расхождение) - не знаю, за сессию 1"));
}

TEST_F(FieldProbe, NoProbesWhileObserversStandInForTheField) {
    engine->setBuf("ghb");
    engine->correctionSink = [](const LayoutSwitcher::CorrectionEvent&) {};
    const size_t timers = env.queue().pendingTimers();
    probe->scheduleAXProbe("расхождение", false, 0.06);
    EXPECT_EQ(env.queue().pendingTimers(), timers);
}

TEST_F(FieldProbe, ScreenTruthStandsAsideWhileTheFieldMayShowOurOwnWork) {
    struct Case {
        const char* name;
        std::function<void(FieldProbe&)> arrange;
        bool armed;
    } cases[] = {
        {"nothing of ours", [](FieldProbe&) {}, true},
        {"just written by us", [](FieldProbe& t) { t.engine->screenTruthLastWriteAt = t.env.clock().now().addMSecs(-100); }, false},
        {"written a while ago", [](FieldProbe& t) { t.engine->screenTruthLastWriteAt = t.env.clock().now().addMSecs(-200); }, true},
        {"a live flip on screen", [](FieldProbe& t) { t.engine->liveFlippedWord = true; }, false},
        {"the live bridge", [](FieldProbe& t) { t.engine->liveActive = true; }, false},
        {"our switch in its grace window", [](FieldProbe& t) { t.engine->graceTarget = "ru"; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeEngine();
        gates = std::make_unique<LayoutAppGates>(*engine);
        probe = std::make_unique<LayoutFieldProbe>(*engine, *gates);
        c.arrange(*this);
        probe->noteScreenTruth(false, "привет", "ghbdtn", "Notes");
        EXPECT_EQ(engine->screenTruth.has_value(), c.armed);
    }
}

TEST_F(FieldProbe, AMatchClearsTheVerdictSilently) {
    arm();
    const int lines = env.logLines().size();
    probe->noteScreenTruth(true, "ghb", "ghb", "Notes");
    EXPECT_FALSE(engine->screenTruth);
    EXPECT_EQ(env.logLines().size(), lines);
}

TEST_F(FieldProbe, TheSameVerdictAgainIsNotLoggedAgain) {
    probe->noteScreenTruth(false, "привет", "ghbdtn", "Notes");
    probe->noteScreenTruth(false, "при", "ghb", "Notes");
    EXPECT_EQ(env.logLines().filter("беру правду с экрана").size(), 1);
}

TEST_F(FieldProbe, AVerdictLastsTenSecondsInItsApplication) {
    arm();
    env.advance(9.9);
    EXPECT_TRUE(probe->armedScreenTruth());
    env.advance(0.1);
    EXPECT_FALSE(probe->armedScreenTruth());
    EXPECT_FALSE(engine->screenTruth);

    gates->focusedApp();  // "Notes" is cached as the focused application
    arm("Mail");
    EXPECT_FALSE(probe->armedScreenTruth());
    arm("Notes");
    EXPECT_TRUE(probe->armedScreenTruth());
}

TEST_F(FieldProbe, ScreenTruthRuleOffArmsNothing) {
    makeEngine({{"MURMELO_RULE_SCREEN_TRUTH", "0"}});
    gates = std::make_unique<LayoutAppGates>(*engine);
    probe = std::make_unique<LayoutFieldProbe>(*engine, *gates);
    probe->noteScreenTruth(false, "привет", "ghbdtn", "Notes");
    EXPECT_FALSE(engine->screenTruth);
    arm();
    EXPECT_EQ(probe->screenTruthWord("ghbdtn"), "ghbdtn");
}

TEST_F(FieldProbe, FocusedValueAndCaretOnlyForACaret) {
    show("hello world", 5);
    const auto read = LayoutFieldProbe::focusedValueAndCaret();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->first, "hello world");
    EXPECT_EQ(read->second, 5);
    field->select(0, 5);
    EXPECT_FALSE(LayoutFieldProbe::focusedValueAndCaret());
}

struct ScreenTruthPure : test::SimulatedLayouts {};

TEST_F(ScreenTruthPure, Script) {
    struct Case {
        const char* text;
        std::optional<QString> script;
    } cases[] = {
        {"ghb1", "en"}, {"прив1", "ru"}, {"привет world", std::nullopt}, {"123", std::nullopt}, {"Ёлка", "ru"},
    };
    for (const Case& c : cases) EXPECT_EQ(LayoutScreenTruth::script(QString::fromUtf8(c.text)), c.script) << c.text;
}

TEST_F(ScreenTruthPure, VerdictAndWordOnScreen) {
    EXPECT_EQ(LayoutScreenTruth::verdict("ghbdtn", "привет", true), (ScreenTruthVerdict{"en", "ru"}));
    EXPECT_FALSE(LayoutScreenTruth::verdict("ghbdtn", "привер", true));
    EXPECT_FALSE(LayoutScreenTruth::verdict("ghbdtn", "привет", false));
    EXPECT_FALSE(LayoutScreenTruth::verdict("ghbdtn", "ghbdtn", true));
    EXPECT_FALSE(LayoutScreenTruth::verdict("", "", true));

    const ScreenTruthVerdict v{"en", "ru"};
    EXPECT_EQ(LayoutScreenTruth::onScreen("ghbdtn", v), "привет");
    EXPECT_EQ(LayoutScreenTruth::onScreen("мир", v), "мир");
    EXPECT_EQ(LayoutScreenTruth::onScreen("ghbdtn", std::nullopt), "ghbdtn");
}

}  // namespace
