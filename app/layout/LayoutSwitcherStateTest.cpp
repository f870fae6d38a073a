#include "layout/LayoutSwitcherTestSupport.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

using SwitcherState = SwitcherFixture;

TEST_F(SwitcherState, TrueDefaultSettingsReadOnlyAStoredValue) {
    EXPECT_TRUE(engine->isLive());
    EXPECT_TRUE(engine->isNativeSwitch());
    env.defaults().set("layoutLiveConvert", false);
    env.defaults().set("layoutNativeSwitch", false);
    EXPECT_FALSE(engine->isLive());
    EXPECT_FALSE(engine->isNativeSwitch());
    env.defaults().remove("layoutLiveConvert");
    env.defaults().remove("layoutNativeSwitch");
    EXPECT_TRUE(engine->isLive());
    EXPECT_TRUE(engine->isNativeSwitch());
}

TEST_F(SwitcherState, ExcludedAppsAreAllStringsOrNothing) {
    env.defaults().set("layoutExcludedApps", QVariantList{"org.a", "org.b"});
    EXPECT_EQ(engine->excludedAppBundles(), (QSet<QString>{"org.a", "org.b"}));
    env.defaults().set("layoutExcludedApps", QVariantList{"org.a", 7, "org.b"});
    EXPECT_TRUE(engine->excludedAppBundles().isEmpty());
    env.defaults().set("layoutExcludedApps", QStringLiteral("org.a"));
    EXPECT_TRUE(engine->excludedAppBundles().isEmpty());
}

TEST_F(SwitcherState, SpellStaysOff) {
    engine->setSpellEnabled(true);
    EXPECT_FALSE(engine->isSpellEnabled());
}

TEST_F(SwitcherState, SeedSet) {
    const QSet<QString>& seed = layoutExceptionSeed();
    EXPECT_EQ(seed.size(), 321);
    for (const char* w : {"github", "grep", "make", "murmelo", "tee", "npm"}) EXPECT_TRUE(seed.contains(w)) << w;
    for (const QString& w : seed) EXPECT_EQ(w, w.toLower());
    EXPECT_EQ(urlSchemes().size(), 6);
}

TEST_F(SwitcherState, PrevWordShiftsAndEmptyClearsBoth) {
    engine->setPrevWord("ab");
    engine->setPrevWord("cd");
    EXPECT_EQ(engine->prevWord(), "cd");
    EXPECT_EQ(engine->prevWord2(), "ab");
    engine->setPrevWord(QString());
    EXPECT_EQ(engine->prevWord(), "");
    EXPECT_EQ(engine->prevWord2(), "");
}

TEST_F(SwitcherState, NewEngineStartsClean) {
    EXPECT_EQ(engine->bufStart, LayoutSwitcher::BufStart::clean);
    EXPECT_EQ(engine->nativeHoldUntilWord, -1);
    EXPECT_FALSE(engine->nativeHoldActive());
    EXPECT_EQ(engine->flipProbeFirstMs, -1);
    EXPECT_EQ(engine->liveScopeAt, -1);
    EXPECT_EQ(LayoutSwitcher::undoMaxAge, 2.0);
    EXPECT_FALSE(engine->loaded);
    EXPECT_FALSE(engine->isCorrecting());
    EXPECT_EQ(engine->graceWindow, 1.0);
    EXPECT_EQ(engine->tNormal(), 0.1);
    EXPECT_EQ(engine->liveMinLen(), 2);
    EXPECT_EQ(LayoutSwitcher::bufStartFromName("bs"), LayoutSwitcher::BufStart::bs);
    EXPECT_EQ(LayoutSwitcher::bufStartFromName("Bs"), std::nullopt);
}

TEST_F(SwitcherState, ModelsFolderPrefersTheDeveloperTree) {
    QDir(env.root()).mkpath("repo/layout/models");
    qputenv("MURMELO_REPO_ROOT", (env.root() + "/repo").toUtf8());
    makeEngine();
    qunsetenv("MURMELO_REPO_ROOT");
    EXPECT_EQ(engine->modelsDir, env.root() + "/repo/layout/models");
}

TEST_F(SwitcherState, AppPriorFollowsItsRule) {
    steps.frontAppPrior = [] { return std::optional<QString>("ru"); };
    EXPECT_EQ(engine->learnedAppPrior(), "ru");
    makeEngine({{"MURMELO_RULE_APP_PRIOR_CONFIRMS", "0"}});
    steps.frontAppPrior = [] { return std::optional<QString>("ru"); };
    EXPECT_EQ(engine->learnedAppPrior(), std::nullopt);
}

TEST_F(SwitcherState, VetoGoesOnlyToItsSink) {
    engine->veto("x");  // no sink: nothing happens
    QStringList got;
    engine->vetoSink = [&](const QString& r) { got << r; };
    engine->veto("R46");
    EXPECT_EQ(got, QStringList{"R46"});
}

}  // namespace
