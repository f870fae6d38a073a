#include "input/AXText.h"
#include "layout/LayoutAuthority.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/SystemSubstitutions.h"
#include "sim/SimAccessibility.h"
#include "sim/SimComposeStage.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;
using BufStart = LayoutSwitcher::BufStart;

namespace {

// Accessibility that counts how often the focused element is looked up.
struct CountingAccessibility : sim::SimAccessibility {
    using SimAccessibility::SimAccessibility;
    int focusLookups = 0;
    AXElementPtr focusedElement(AXError* error = nullptr) override {
        ++focusLookups;
        return SimAccessibility::focusedElement(error);
    }
};

// An engine with its gates over a desktop holding an editor, a remote viewer and a launcher.
struct Gates : SwitcherFixture {
    CountingAccessibility ax{desktop};
    ScopedService<Accessibility> axScope{ax};
    std::unique_ptr<LayoutAppGates> gates;

    void SetUp() override {
        SwitcherFixture::SetUp();
        AXText::resetForTesting();
        // Which applications were logged lives for the process: each test starts afresh.
        SystemSubstitutions::resetForTesting();
        desktop.addApp("org.kde.kate", "Kate");
        desktop.addField("org.kde.kate");
        desktop.addApp("com.realvnc.vncviewer", "VNC Viewer");
        desktop.addField("com.realvnc.vncviewer");
        desktop.addApp("com.apple.Spotlight", "Spotlight");
        desktop.addField("com.apple.Spotlight");
        desktop.focus("org.kde.kate");
        env.defaults().set("layoutSwitchEnabled", true);
        engine->loaded = true;
        gates = std::make_unique<LayoutAppGates>(*engine);
        useGates(steps, *gates);
    }
    void TearDown() override {
        AXText::resetForTesting();
        SystemSubstitutions::resetForTesting();
    }

    void typeKeys(const QString& text) {
        for (const QChar c : text) {
            InputEvent e;
            e.unicode = QString(c);
            e.keyCode = 0;
            engine->handleKeyDown(e);
        }
    }
};

TEST(EditRightsTable, FollowsHowTheWordBegan) {
    struct Row {
        BufStart start;
        bool clean, live;
    };
    for (const Row& r : {Row{BufStart::clean, true, true}, Row{BufStart::click, false, true},
                         Row{BufStart::nav, false, false}, Row{BufStart::mod, false, true},
                         Row{BufStart::bs, false, false}}) {
        const EditRights rights(r.start);
        SCOPED_TRACE(LayoutSwitcher::bufStartName(r.start).toStdString());
        EXPECT_EQ(rights.movesSystemLayout(), r.clean);
        EXPECT_EQ(rights.allowsUnconfidentFlip(), r.clean);
        EXPECT_EQ(rights.givesLanguageContext(), r.clean);
        EXPECT_EQ(rights.delaysLayoutOneMoreWord(), !r.clean);
        EXPECT_EQ(rights.asksFieldForNeighbour(), !r.clean);
        EXPECT_EQ(rights.capitalNeedsCaretProbe(), !r.clean);
        EXPECT_EQ(rights.allowsLiveFlip(), r.live);
    }
    EXPECT_TRUE(EditRights::clean().allowsSpellFix(1));
    // A word begun by a click: four letters may flip to a known word but not be spell-fixed.
    const EditRights click(BufStart::click);
    EXPECT_FALSE(click.allowsDictionaryFlip(3));
    EXPECT_TRUE(click.allowsDictionaryFlip(4));
    EXPECT_FALSE(click.allowsSpellFix(4));
    EXPECT_TRUE(click.allowsSpellFix(5));
}

TEST_F(Gates, RemoteViewerAndExcludedApplicationGetNoEdits) {
    QStringList offered;
    steps.consider = [&](const QString& w, QChar, BufStart, bool) { offered << w; return true; };
    EXPECT_FALSE(gates->isRemoteDesktopFrontmost());
    typeKeys("ghbdtn ");
    EXPECT_EQ(offered, QStringList{"ghbdtn"});

    desktop.focus("com.realvnc.vncviewer");
    EXPECT_TRUE(gates->isRemoteDesktopFrontmost());
    typeKeys("vbh ");
    EXPECT_EQ(offered.size(), 1);

    desktop.focus("org.kde.kate");
    env.defaults().set(LayoutSwitcher::EXCLUDED_APPS_KEY, QVariantList{"org.kde.kate"});
    env.advance(0.6);  // past the focused-application cache
    EXPECT_TRUE(gates->isExcludedAppFocused());
    typeKeys("ghbdtn ");
    EXPECT_EQ(offered.size(), 1);
}

// The key path looks the focused application up only when some application is excluded:
// the lookup is a round trip to other processes, and a key after a pause would wait for it.
TEST_F(Gates, KeysAskNoFocusedApplicationWhileNothingIsExcluded) {
    typeKeys("ghbdtn ");
    env.advance(0.6);
    typeKeys("vbh ");
    EXPECT_EQ(ax.focusLookups, 0);
    EXPECT_FALSE(gates->isExcludedAppFocused());

    env.defaults().set(LayoutSwitcher::EXCLUDED_APPS_KEY, QVariantList{"org.kde.kate"});
    typeKeys("f");
    EXPECT_EQ(ax.focusLookups, 1);
    EXPECT_TRUE(gates->isExcludedAppFocused());
}

TEST_F(Gates, FocusedApplicationIsCachedForHalfASecond) {
    EXPECT_EQ(gates->focusedApp().name, "Kate");
    EXPECT_EQ(gates->cachedAppName(), std::optional<QString>("Kate"));
    desktop.focus("com.apple.Spotlight");
    env.advance(0.4);
    EXPECT_EQ(gates->focusedApp().bundle, std::optional<QString>("org.kde.kate"));
    env.advance(0.2);
    EXPECT_FALSE(gates->cachedAppName());
    EXPECT_EQ(gates->frontAppName(), "Spotlight");
    EXPECT_EQ(gates->focusedAppPid(), desktop.app("com.apple.Spotlight")->identity.pid);
}

TEST_F(Gates, TwoMissesInARowTeachAccessibilityDelivery) {
    EXPECT_FALSE(gates->noteDeliveryMiss("org.kde.kate", "Kate", false));
    EXPECT_TRUE(env.logContains("(промах 1 из 2)"));
    gates->forgiveDeliveryMiss("org.kde.kate");
    EXPECT_FALSE(gates->noteDeliveryMiss("org.kde.kate", "Kate", false));
    EXPECT_EQ(env.logText().count("(промах 1 из 2)"), 2);
    EXPECT_FALSE(gates->usesAXDelivery());
    EXPECT_TRUE(gates->noteDeliveryMiss("org.kde.kate", "Kate", false));
    EXPECT_TRUE(gates->usesAXDelivery());
    EXPECT_EQ(env.defaults().listValue(LayoutSwitcher::LEARNED_DELIVERY_KEY), QVariantList{"org.kde.kate"});
    EXPECT_EQ(gates->learnedDeliveryAppNames(), QStringList{"Kate"});

    // A miss where accessibility writes are refused is never counted.
    EXPECT_FALSE(gates->noteDeliveryMiss("org.gnome.gedit", "gedit", true));
    EXPECT_FALSE(gates->noteDeliveryMiss("org.gnome.gedit", "gedit", true));
    EXPECT_FALSE(gates->isAXDeliveryBundle("org.gnome.gedit"));

    gates->forgetLearnedDelivery();
    EXPECT_FALSE(gates->usesAXDelivery());
    EXPECT_FALSE(env.defaults().contains(LayoutSwitcher::LEARNED_DELIVERY_KEY));
}

TEST_F(Gates, LauncherIsAlwaysAccessibilityAndNeverLearned) {
    desktop.focus("com.apple.Spotlight");
    EXPECT_TRUE(gates->usesAXDelivery());
    EXPECT_FALSE(gates->noteDeliveryMiss("com.apple.Spotlight", "Spotlight", false));
    EXPECT_FALSE(gates->noteDeliveryMiss("com.apple.Spotlight", "Spotlight", false));
    EXPECT_FALSE(env.defaults().contains(LayoutSwitcher::LEARNED_DELIVERY_KEY));
    EXPECT_FALSE(env.logContains("layout/учу"));
}

TEST_F(Gates, RefusedAccessibilityWriteUnlearnsTheApplication) {
    engine->learnedUnreliableBundles.insert("org.kde.kate");
    gates->forgetLearnedIfAXRefused();
    EXPECT_TRUE(gates->usesAXDelivery());  // no refusal known yet

    env.defaults().set(AXText::refusedAppsKey, QVariantList{"org.kde.kate"});
    AXText::resetForTesting();
    gates->forgetLearnedIfAXRefused();
    EXPECT_FALSE(gates->usesAXDelivery());
    EXPECT_TRUE(env.logContains("снимаю со списка прямой доставки, дальше клавишами (org.kde.kate)"));
}

TEST_F(Gates, SimulatedFieldDecidesDeliveryWhileItStandsIn) {
    desktop.focus("com.apple.Spotlight");
    LayoutSwitcher::setStandMode(true);
    EXPECT_FALSE(gates->usesAXDelivery()) << "no stage: nothing to deliver to";
    sim::SimComposeStage stage("com.apple.keylayout.US");
    LayoutSwitcher::setStage(&stage);
    EXPECT_FALSE(gates->usesAXDelivery()) << "the stage's flag, not the application's list";
    stage.forceAXDelivery = true;
    EXPECT_TRUE(gates->usesAXDelivery());
    LayoutSwitcher::setStage(nullptr);
}

TEST(LayoutAuthority, UserActionsVoidTicketsAndHoldNewOnes) {
    AutomaticLayoutAuthority a;
    auto ticket = a.request(10.0, std::nullopt);
    ASSERT_TRUE(ticket);
    a.noteLeftCommand(true, 10.01, 0.35);
    EXPECT_FALSE(a.request(10.02, std::nullopt));
    a.noteLeftCommand(false, 10.05, 0.35);
    EXPECT_FALSE(a.consume(*ticket, 10.5, std::nullopt));
    EXPECT_FALSE(a.request(10.3, std::nullopt));
    EXPECT_TRUE(a.request(10.41, std::nullopt));

    a.noteUserShortcut(20.0, 0.35);
    EXPECT_FALSE(a.request(20.2, std::nullopt));
    ticket = a.request(20.4, std::nullopt);
    ASSERT_TRUE(ticket);
    EXPECT_TRUE(a.consume(*ticket, 20.45, std::nullopt));
    EXPECT_FALSE(a.consume(*ticket, 20.46, std::nullopt));  // used once
}

TEST(LayoutAuthority, TicketExpectingASourceIsRefusedWhenTheSourceChanged) {
    AutomaticLayoutAuthority a;
    const QString ru = "com.apple.keylayout.Russian";
    auto ticket = a.request(1.0, ru);
    ASSERT_TRUE(ticket);
    EXPECT_FALSE(a.consume(*ticket + 1, 1.1, ru));  // not the pending one: stays pending
    EXPECT_FALSE(a.consume(*ticket, 1.1, QString("com.apple.keylayout.US")));
    EXPECT_FALSE(a.consume(*ticket, 1.1, ru));  // gone
    ticket = a.request(2.0, ru);
    EXPECT_FALSE(a.consume(*ticket, 2.1, std::nullopt));  // current source unknown
    ticket = a.request(3.0, ru);
    a.invalidatePending();
    EXPECT_FALSE(a.consume(*ticket, 3.1, ru));
}

TEST_F(Gates, EngineShortcutVoidsThePendingTicket) {
    auto ticket = engine->layoutSelectionAuthority.request(env.clock().uptime(), std::nullopt);
    ASSERT_TRUE(ticket);
    engine->noteUserShortcut();
    EXPECT_FALSE(engine->layoutSelectionAuthority.consume(*ticket, env.clock().uptime() + 1, std::nullopt));
}

TEST_F(Gates, NoSystemSubstitutionIsActive) {
    EXPECT_FALSE(SystemSubstitutions::appliesSubstitutions(desktop.frontmostApplication()));
    EXPECT_FALSE(SystemSubstitutions::appliesSubstitutions(std::nullopt));
    EXPECT_EQ(SystemSubstitutions::value("NSAutomaticSpellingCorrectionEnabled", QString("org.kde.kate")),
              std::optional<bool>(false));
    EXPECT_EQ(SystemSubstitutions::describe(std::nullopt),
              "исправление орфографии: выкл, заглавная в начале: выкл, точка двойным пробелом: выкл, "
              "кавычки-ёлочки: выкл, длинное тире: выкл");
    // Once per application, by id or by name without one.
    desktop.addApp("org.test.notes", "Notes");
    desktop.focus("org.test.notes");
    env.advance(0.6);
    gates->frontAppName();
    env.advance(0.6);
    gates->frontAppName();
    SystemSubstitutions::noteOnce(std::nullopt, "NoId");
    SystemSubstitutions::noteOnce(std::nullopt, "NoId");
    EXPECT_EQ(env.logText().count("[Notes]"), 1);
    EXPECT_EQ(env.logText().count("[NoId]"), 1);
}

}  // namespace
