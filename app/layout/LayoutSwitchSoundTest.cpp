#include "layout/LayoutSwitchSound.h"

#include "TestEnvironment.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "sim/SimComposeStage.h"
#include "sim/SimSoundPlayer.h"

#include <gtest/gtest.h>

using namespace murmelo;
using Cue = LayoutSwitchSound::Cue;

namespace {

// Cues caught by the hook, with the gates at their defaults and restored afterwards.
struct SoundGates : ::testing::Test {
    test::TestEnvironment env;
    QList<Cue> heard;
    void SetUp() override { LayoutSwitchSound::sink = [this](Cue c) { heard << c; }; }
    void TearDown() override { LayoutSwitchSound::sink = nullptr; }
};

TEST_F(SoundGates, SettingDecidesOnUntilTurnedOff) {
    LayoutSwitchSound::play(Cue::ru);
    EXPECT_EQ(heard, QList<Cue>{Cue::ru});
    LayoutSwitchSound::setEnabled(false);
    EXPECT_FALSE(LayoutSwitchSound::isEnabled());
    LayoutSwitchSound::play(Cue::en);
    EXPECT_EQ(heard, QList<Cue>{Cue::ru});
    LayoutSwitchSound::setEnabled(true);
    LayoutSwitchSound::play(Cue::rollback);
    EXPECT_EQ(heard, (QList<Cue>{Cue::ru, Cue::rollback}));
}

TEST_F(SoundGates, StandModeSilencesEvenTheHook) {
    LayoutSwitcher::setStandMode(true);
    LayoutSwitchSound::play(Cue::ru);
    EXPECT_TRUE(heard.isEmpty());
}

TEST(LayoutSwitchSound, OnlyTheValueZeroOfTheEnvironmentSwitchSilences) {
    struct Case {
        const char* name;
        std::optional<QByteArray> value;
        bool silent;
    };
    const Case cases[] = {{"unset", std::nullopt, false}, {"zero", QByteArray("0"), true},
                          {"one", QByteArray("1"), false}, {"false", QByteArray("false"), false},
                          {"empty", QByteArray(""), false}, {"zero padded", QByteArray(" 0"), false}};
    for (const Case& c : cases) EXPECT_EQ(LayoutSwitchSound::envValueSilences(c.value), c.silent) << c.name;

    EXPECT_TRUE(LayoutSwitchSound::shouldPlay(true, false, false));
    EXPECT_FALSE(LayoutSwitchSound::shouldPlay(false, false, false));
    EXPECT_FALSE(LayoutSwitchSound::shouldPlay(true, true, false));
    EXPECT_FALSE(LayoutSwitchSound::shouldPlay(true, false, true));
}

TEST(LayoutSwitchSound, CueFollowsTheLayoutOfTheSource) {
    EXPECT_EQ(LayoutSwitchSound::cue(ManualInputSourceProfileV1::russianApple), Cue::ru);
    EXPECT_EQ(LayoutSwitchSound::cue(ManualInputSourceProfileV1::sourceID("en")), Cue::en);
    EXPECT_EQ(LayoutSwitchSound::cue(QStringLiteral("org.example.keylayout.German")), std::nullopt);
    EXPECT_EQ(LayoutSwitchSound::cue(std::nullopt), std::nullopt);
    for (Cue c : {Cue::ru, Cue::en, Cue::rollback})
        EXPECT_EQ(LayoutSwitchSound::cueFromRaw(LayoutSwitchSound::rawValue(c)), c);
    EXPECT_EQ(LayoutSwitchSound::cueFromRaw(QStringLiteral("de")), std::nullopt);
}

// The background queue over the simulated player; the sounds it loaded are dropped before
// the player goes.
struct SoundQueue : ::testing::Test {
    test::TestEnvironment env;
    sim::SimSoundPlayer player;
    ScopedService<SoundPlayer> scope{player};
    void SetUp() override { LayoutSwitchSound::sink = nullptr; }
    void TearDown() override { LayoutSwitchSound::forgetSounds(); }
    void play(Cue c) {
        LayoutSwitchSound::play(c);
        LayoutSwitchSound::waitUntilIdle();
    }
};

TEST_F(SoundQueue, MissingSoundIsLoggedEachTimeAndRetriedThenLoadsOnceAndRestarts) {
    player.available.removeAll(QStringLiteral("Pop"));
    play(Cue::ru);
    play(Cue::ru);
    EXPECT_EQ(player.events(), (QStringList{"load Pop", "load Pop"}));
    EXPECT_EQ(env.logLines().filter(QStringLiteral("layout/звук: системный звук Pop не найден - молчу")).size(), 2);

    player.available << QStringLiteral("Pop");
    player.clear();
    play(Cue::ru);
    play(Cue::ru);  // still playing: starts over instead of overlapping
    player.finishAll();
    play(Cue::ru);  // finished: just plays again
    EXPECT_EQ(player.events(), (QStringList{"load Pop", "play Pop", "stop Pop", "play Pop", "play Pop"}));
}

TEST_F(SoundQueue, SettingOffPlaysAndLoadsNothing) {
    LayoutSwitchSound::setEnabled(false);
    play(Cue::en);
    EXPECT_TRUE(player.events().isEmpty());
}

// The engine's selections with the cue wiring they come with.
struct SelectionCues : test::SwitcherFixture {
    sim::SimSoundPlayer player;
    ScopedService<SoundPlayer> scope{player};
    SwitchSoundEffects effects;
    std::unique_ptr<LayoutSourceSelection> sel;
    const QString RU = ManualInputSourceProfileV1::russianApple;
    const QString US = *ManualInputSourceProfileV1::sourceID("en");

    void SetUp() override {
        SwitcherFixture::SetUp();
        LayoutSwitchSound::sink = nullptr;
        sel = std::make_unique<LayoutSourceSelection>(*engine, effects);
    }
    void TearDown() override { LayoutSwitchSound::forgetSounds(); }
    void select(const QString& source, const std::optional<QString>& cue = std::nullopt) {
        ASSERT_TRUE(sel->selectExactSource(source, false, cue));
        env.advance(0.1);
        LayoutSwitchSound::waitUntilIdle();
    }
};

TEST_F(SelectionCues, EachLayoutHasItsCueAndARollbackItsOwn) {
    select(RU);
    select(US, QStringLiteral("rollback"));
    select(RU);  // "Pop" again, from its beginning
    select(US);
    EXPECT_EQ(player.played(), (QStringList{"Pop", "Bottle", "Pop", "Tink"}));
    EXPECT_TRUE(player.events().contains(QStringLiteral("stop Pop")));
}

TEST_F(SelectionCues, StandModeSelectionIsSilent) {
    sim::SimComposeStage stage(US);
    LayoutSwitcher::setStage(&stage);
    LayoutSwitcher::setStandMode(true);
    select(RU);
    EXPECT_EQ(stage.realSourceID, RU);
    EXPECT_TRUE(player.events().isEmpty());
    LayoutSwitcher::setStage(nullptr);
}

}  // namespace
