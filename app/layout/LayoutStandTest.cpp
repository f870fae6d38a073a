#include "input/AXText.h"
#include "layout/LayoutStandTestSupport.h"
#include "layout/ManualInputReleaseGateInjection.h"
#include "layout/TypingFixLanguages.h"

using namespace murmelo;
using murmelo::test::StandFixture;
using sim::ComposeWrite;
using Transport = LayoutSwitcher::UndoTransport;

namespace {

using Stand = StandFixture;

TEST_F(Stand, EngineWritesGoToTheStageAndNeverToTheSystem) {
    struct Case {
        const char* name;
        std::function<void(test::PartSlots&)> write;
        QString text;
        ComposeWrite last;
    };
    const Case cases[] = {
        {"typed text", [](auto& s) { EXPECT_FALSE(s.sendUnicode("abc", TextWriteOrigin::layout)); }, "xyabc",
         {"layout", 0, "abc", 0}},
        {"Backspaces", [](auto& s) { s.sendBackspaces(1, TextWriteOrigin::polishRepair); }, "x",
         {"polish-repair", 1, "", 1}},
        {"retype by keys",
         [](auto& s) { EXPECT_EQ(s.deliver(2, "фн", Transport::keys), TextWriteRoute::directUnicode); }, "фн",
         {"layout", 0, "фн", 0}},
        {"retype by clipboard",
         [](auto& s) { EXPECT_EQ(s.deliver(1, "н", Transport::clipboard), TextWriteRoute::clipboard); }, "xн",
         {"layout-undo", 0, "н", 0}},
        {"paste", [](auto& s) { s.pasteAtomically("!", TextWriteOrigin::polish); }, "xy!", {"polish", 0, "!", 0}},
    };
    for (const Case& c : cases) {
        stage->select(0, int(stage->cells().size()));
        stage->humanKey("x");
        stage->humanKey("y");
        engine->screenTruthLastWriteAt = {};
        c.write(steps);
        EXPECT_EQ(stage->text(), c.text) << c.name;
        EXPECT_EQ(stage->writes.back(), c.last) << c.name;
        EXPECT_TRUE(engine->screenTruthLastWriteAt.isValid()) << c.name;
    }
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_EQ(pasteboard.changeCount(), 1) << "the clipboard was never touched";
}

TEST_F(Stand, WithoutAStageStandModeWritesNothingAnywhere) {
    stage->humanKey("a");
    LayoutSwitcher::setStage(nullptr);
    steps.deliver(1, "ф", Transport::keys);
    steps.sendKey(9, KeyFlags::command);
    EXPECT_FALSE(steps.deliverViaAX(1, "ф"));
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_EQ(field->value, "a");
    EXPECT_FALSE(steps.selectExactSource(RU, false, std::nullopt, {})) << "no source to read";
}

// Forced accessibility delivery writes through the stage's own accessibility, which says
// whether it landed; without a field element the keys take over.
TEST_F(Stand, ForcedAccessibilityDeliveryReplacesTheWord) {
    for (QChar c : QStringLiteral("ghbdtn")) stage->humanKey(QString(c));
    stage->forceAXDelivery = true;
    EXPECT_EQ(steps.deliver(6, "привет", Transport::keys), TextWriteRoute::accessibilitySelectedText);
    EXPECT_EQ(stage->text(), "привет");
    EXPECT_EQ(stage->writes.back(), (ComposeWrite{"layout", 6, "привет", 6}));
    EXPECT_TRUE(env.logContains("layout/ax: правка записана в поле напрямую (стёрто 6"));

    stage->fieldElement = nullptr;
    EXPECT_EQ(steps.deliver(6, "ghbdtn", Transport::keys), TextWriteRoute::directUnicode);
    EXPECT_EQ(stage->text(), "ghbdtn");
    EXPECT_TRUE(keys.posted().empty());
}

TEST_F(Stand, ShortcutKeysReachTheStage) {
    stage->humanKey("a");
    stage->humanKey("b");
    steps.sendKey(0, KeyFlags::command);
    steps.sendKey(8, KeyFlags::command);
    EXPECT_EQ(pasteboard.string(), std::optional<QString>("ab"));
    ASSERT_EQ(stage->keys.size(), 2u);
    EXPECT_EQ(stage->keys[0].origin, "layout");
    EXPECT_TRUE(keys.posted().empty());
}

TEST_F(Stand, SelectionsGoToTheStageAtOnceAndAreVerified) {
    QList<bool> done;
    ASSERT_TRUE(steps.selectLayout("ru", false, std::nullopt, [&](bool ok) { done << ok; }));
    EXPECT_EQ(engine->graceTarget, std::optional<QString>("ru"));
    env.advance(0);
    EXPECT_EQ(stage->realSourceID, RU);
    EXPECT_EQ(stage->tisSelects, 1);
    EXPECT_EQ(done, QList<bool>{true});
    EXPECT_EQ(engine->observedSourceID(), std::optional<QString>(RU));
    EXPECT_EQ(engine->currentLayoutId(), std::optional<QString>("ru"));
    ASSERT_TRUE(engine->lastOwnSelect);
    EXPECT_EQ(engine->lastOwnSelect->sourceID, RU);
    EXPECT_TRUE(sources.selectCalls.isEmpty()) << "the system's sources are not touched";

    // The service keeps answering the old source: the recheck fails the selection.
    stage->tisAnswersInstead = RU;
    ASSERT_TRUE(steps.selectExactSource(US, false, std::nullopt, [&](bool ok) { done << ok; }));
    env.advance(0.1);
    EXPECT_EQ(stage->realSourceID, US);
    EXPECT_EQ(done, (QList<bool>{true, false}));
    EXPECT_FALSE(engine->layoutVerifyTarget);

    EXPECT_TRUE(steps.fireIdleReselect(RU));
    EXPECT_EQ(stage->idleReselects, 1);
}

TEST_F(Stand, TheReleaseGateFailsEverySelection) {
    heard.forceFailure = true;
    QList<bool> done;
    ASSERT_TRUE(steps.selectExactSource(RU, false, std::nullopt, [&](bool ok) { done << ok; }));
    env.advance(0);
    EXPECT_EQ(stage->tisSelects, 0);
    EXPECT_EQ(done, QList<bool>{false});
    EXPECT_FALSE(engine->graceTarget);
    EXPECT_TRUE(env.logContains("layout: exact TIS failure injected by manual-input release gate"));
}

TEST(ReleaseGate, NeedsTheArgumentAndTheValueOne) {
    const QString key = ManualInputReleaseGateInjection::tisFailureEnvironmentKey;
    struct Case {
        const char* name;
        QStringList arguments;
        QHash<QString, QString> environment;
        bool fails;
    };
    const Case cases[] = {
        {"both", {"murmelo", "--manual-input-release-gate"}, {{key, "1"}}, true},
        {"value true", {"murmelo", "--manual-input-release-gate"}, {{key, "true"}}, false},
        {"no argument", {"murmelo"}, {{key, "1"}}, false},
        {"argument with a value glued", {"murmelo", "--manual-input-release-gate=1"}, {{key, "1"}}, false},
        {"no variable", {"murmelo", "--manual-input-release-gate"}, {}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ManualInputReleaseGateInjection::forcesTISFailure(c.arguments, c.environment), c.fails) << c.name;
    EXPECT_FALSE(ManualInputReleaseGateInjection::forcesTISFailure()) << "the test program has no such argument";
}

TEST_F(Stand, AccessibilityReadsTheStageWhileItIsVirtual) {
    stage->humanKey("a");
    stage->humanKey("😀");
    EXPECT_EQ(AXText::focused(), stage->fieldElement);
    stage->virtualField = true;
    stage->fieldElement = ax.elementFor(std::make_shared<sim::SimField>());  // an element that reads otherwise
    const AXElementPtr el = AXText::focused();
    EXPECT_EQ(AXText::value(el), std::optional<QString>("a😀"));
    EXPECT_EQ(AXText::selectedRange(el), std::optional(AXRange{3, 0}));
    EXPECT_TRUE(AXText::setSelectedRange(el, AXRange{1, 0}));
    EXPECT_EQ(stage->caret(), 1);
    EXPECT_FALSE(AXText::isSecure(el));
    EXPECT_TRUE(AXText::isEditable(el));
    EXPECT_FALSE(AXText::selectedText(el));
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, "b", true, TextWriteOrigin::polish)) << "not forced";
    stage->forceAXDelivery = true;
    EXPECT_TRUE(AXText::replace(el, AXRange{0, 1}, "b", true, TextWriteOrigin::polish));
    EXPECT_EQ(stage->writes.back(), (ComposeWrite{"polish", 1, "b", 1}));
    EXPECT_EQ(field->value, "b😀");

    stage->fieldElement = nullptr;
    EXPECT_FALSE(AXText::focused()) << "no element: no focused field, whatever the desktop shows";
}

// The application's start joins the host's selections to the engine's own, with ticket and
// verification: the user's own switch in between voids it.
TEST_F(Stand, TheHostSelectsThroughTheEngine) {
    QList<bool> done;
    ASSERT_TRUE(LayoutSwitcherHost::shared().selectExactSource(RU, false, {}, [&](bool ok) { done << ok; }));
    stage->humanSelectSource(RU);
    env.advance(0.1);
    EXPECT_EQ(stage->tisSelects, 0);
    EXPECT_EQ(done, QList<bool>{false});
    EXPECT_TRUE(env.logContains("layout: exact TIS отменён — input source изменён до записи"));
}

// A stand-in for the word decision that is not here yet: a whole mistyped word is retyped in
// the other layout and the source follows, through the engine's own output and selection.
struct Corrections : Stand {
    void SetUp() override {
        Stand::SetUp();
        bindConsider();
    }
    void bindConsider() {
        steps.consider = [this](const QString& word, QChar, LayoutSwitcher::BufStart, bool) {
            const std::optional<QString> ru = LayoutMaps::convert(word, "en", "ru");
            if (!ru || *ru == word) return false;
            steps.deliver(int(word.size()), *ru, Transport::keys);
            steps.selectLayout("ru", false, std::nullopt, {});
            return false;
        };
    }
};

TEST_F(Corrections, ACorrectionRunsOnTheStageFromKeysToSource) {
    stage->lagKeystrokes = [] { return 1; };
    typeKeys("ghbdtn ");
    EXPECT_EQ(stage->text(), "привет ");
    EXPECT_EQ(stage->realSourceID, RU);
    EXPECT_EQ(stage->humanCharsErasedByUs(), 6);
    EXPECT_EQ(stage->humanCharsOnScreen(), 1) << "the space is still the user's";
    typeKeys("vbh");
    EXPECT_EQ(stage->text(), "привет vbр") << "the keyboard followed after its lag";
    EXPECT_EQ(stage->plainText(), "ghbdtn vbр");
}

TEST_F(Corrections, RemoteViewersAndExcludedApplicationsGetNoEdits) {
    env.defaults().set(LayoutSwitcher::EXCLUDED_APPS_KEY, QVariantList{"org.example.vault"});
    struct Case {
        const char* bundle;
        const char* name;
    };
    for (const Case& c : {Case{"com.realvnc.vncviewer", "VNC Viewer"}, Case{"org.example.vault", "Vault"}}) {
        openStand(c.bundle, c.name);
        env.advance(1.0);  // the focused application is looked up afresh
        typeKeys("ghbdtn ");
        EXPECT_EQ(stage->text(), "ghbdtn ") << c.bundle;
        EXPECT_TRUE(stage->writes.empty()) << c.bundle;
        EXPECT_EQ(stage->tisSelects, 0) << c.bundle;
    }
    openStand("org.kde.kate", "Kate");
    env.advance(1.0);
    typeKeys("ghbdtn ");
    EXPECT_EQ(stage->text(), "привет ") << "an ordinary editor is corrected";
}

TEST(TypingFixLanguagesTest, TheAnswerIsKeptUntilTheEnabledSourcesChange) {
    test::TestEnvironment env;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> scope{sources};
    EXPECT_TRUE(TypingFixLanguages::isAvailable());
    sources.setEnabled({StandFixture::US});
    EXPECT_TRUE(TypingFixLanguages::isAvailable()) << "not announced yet";
    env.advance(0);
    EXPECT_FALSE(TypingFixLanguages::isAvailable());
    {
        sim::SimInputSources other = sim::SimInputSources::usRussian();
        ScopedService<InputSources> otherScope{other};
        EXPECT_TRUE(TypingFixLanguages::isAvailable()) << "another backend is read for itself";
    }
    sources.setEnabled({StandFixture::US, StandFixture::RU});
    env.advance(0);
    EXPECT_TRUE(TypingFixLanguages::isAvailable());
    qputenv("MURMELO_NO_CYRILLIC_LAYOUT", "1");
    EXPECT_FALSE(TypingFixLanguages::isAvailable());
    qunsetenv("MURMELO_NO_CYRILLIC_LAYOUT");
}

}  // namespace
