#include "shell/SubsystemLinks.h"

#include "TestEnvironment.h"
#include "cleanup/LangGuess.h"
#include "dictation/DictationNeighbours.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/RuForms.h"
#include "polish/LivePolish.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// A test home with word forms of its own; what linking installs process-wide goes back when
// the test ends.
struct SubsystemLinksTest : ::testing::Test {
    test::TestEnvironment env;
    ScopedService<DictationNeighbours> neighboursScope{installedService<DictationNeighbours>()};
    ScopedService<TapTypingStats> typingScope{installedService<TapTypingStats>()};
    ScopedService<TapQuickActions> quickActionsTapScope{installedService<TapQuickActions>()};
    ScopedService<QuickActionsController> quickActionsScope{installedService<QuickActionsController>()};
    struct RestoreUnset {
        std::function<bool()> saved = TapPolish::whenUnset();
        ~RestoreUnset() { TapPolish::whenUnset() = saved; }
    } restoreUnset;
    RuFormsLookup lookup;
    ScopedService<RuFormsLookup> lookupScope{lookup};
};

// A cleaned dictation that came back in another script is refused by the same guard polish
// uses, once the subsystems are linked; a small edit passes.
TEST_F(SubsystemLinksTest, DictationPassesTheRewriteGuard) {
    linkSubsystems();
    DictationPolish& polish = DictationNeighbours::shared().polish;
    const QString original = QStringLiteral("завтра в десять встреча с командой по проекту");
    EXPECT_EQ(polish.rewriteGuardAccept(original, original + QStringLiteral("."), QStringLiteral("Smart Cleanup")),
              original + QStringLiteral("."));
    EXPECT_EQ(polish.rewriteGuardAccept(original, QStringLiteral("meeting with the team tomorrow at ten about the project"), QStringLiteral("Smart Cleanup")),
              original);
}

// The clean-up's language guess reads the layout models' Russian word forms once linked.
TEST_F(SubsystemLinksTest, TheLanguageGuessAsksTheRussianWordForms) {
    linkSubsystems();
    // The developer tree's resources hold the word-form set.
    ASSERT_TRUE(lookup.isReady());
    EXPECT_TRUE(lookup.contains(QStringLiteral("пошла")));
    EXPECT_FALSE(lookup.contains(QStringLiteral("ghbdtn")));
}

// Live polish hears every key through the switcher once linked, and its constant switch
// keeps it from ever scheduling a tick, polish on or not.
TEST_F(SubsystemLinksTest, LivePolishHearsKeysButStaysOff) {
    env.defaults().set(QStringLiteral("polishEnabled"), true);
    linkSubsystems();

    LayoutSwitcherTap& tap = LayoutEngineParts::application().tap;
    for (int i = 0; i < 20; ++i) tap.notePolishLiveTyping();
    EXPECT_FALSE(LivePolish::shared().hasPendingTick());
    EXPECT_EQ(LivePolish::shared().liveGen, 0);
    DictationNeighbours::shared().polish.cancelPolishLive();
    env.advance(5.0);
    EXPECT_FALSE(env.logContains(QStringLiteral("polish/live")));
}

}  // namespace
