#include "shell/SubsystemLinks.h"

#include "TestEnvironment.h"
#include "dictation/DictationNeighbours.h"
#include "cleanup/LangGuess.h"
#include "input/TapConsumers.h"
#include "layout/RuForms.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// A cleaned dictation that came back in another script is refused by the same guard polish
// uses, once the subsystems are linked; a small edit passes.
TEST(SubsystemLinksTest, DictationPassesTheRewriteGuard) {
    test::TestEnvironment env;
    DictationNeighbours neighbours;
    ScopedService<DictationNeighbours> scope(neighbours);
    // What linking installs process-wide goes back when the test ends.
    ScopedService<TapTypingStats> typingScope(installedService<TapTypingStats>());
    struct RestoreUnset {
        std::function<bool()> saved = TapPolish::whenUnset();
        ~RestoreUnset() { TapPolish::whenUnset() = saved; }
    } restoreUnset;
    RuFormsLookup lookup;
    ScopedService<RuFormsLookup> lookupScope(lookup);
    linkSubsystems();
    const QString original = QStringLiteral("завтра в десять встреча с командой по проекту");
    EXPECT_EQ(neighbours.rewriteGuardAccept(original, original + QStringLiteral("."), QStringLiteral("Smart Cleanup")),
              original + QStringLiteral("."));
    EXPECT_EQ(neighbours.rewriteGuardAccept(original, QStringLiteral("meeting with the team tomorrow at ten about the project"), QStringLiteral("Smart Cleanup")),
              original);
}

}  // namespace

namespace {

// The clean-up's language guess reads the layout models' Russian word forms once linked.
TEST(SubsystemLinksTest, TheLanguageGuessAsksTheRussianWordForms) {
    test::TestEnvironment env;
    DictationNeighbours neighbours;
    ScopedService<DictationNeighbours> scope(neighbours);
    ScopedService<TapTypingStats> typingScope(installedService<TapTypingStats>());
    const std::function<bool()> savedUnset = TapPolish::whenUnset();
    RuFormsLookup lookup;
    ScopedService<RuFormsLookup> lookupScope(lookup);
    linkSubsystems();
    TapPolish::whenUnset() = savedUnset;
    // The developer tree's resources hold the word-form set.
    ASSERT_TRUE(lookup.isReady());
    EXPECT_TRUE(lookup.contains(QStringLiteral("пошла")));
    EXPECT_FALSE(lookup.contains(QStringLiteral("ghbdtn")));
}

}  // namespace
