#include "layout/LayoutDisagreement.h"
#include "layout/LayoutSwitcherTestSupport.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

struct Disagreement : SwitcherFixture {
    LayoutDisagreement memory() { return LayoutDisagreement(*engine); }
    void note(const QString& word, std::optional<QUuid> id = QUuid::createUuid()) {
        memory().noteDisagreement(word, QStringLiteral("откат жестом, en"), id);
    }
    bool vetoed(const QString& word) { return memory().disagreementVetoedBoundary(word); }
};

TEST_F(Disagreement, KeyDropsSlashesEdgePunctuationAndCase) {
    EXPECT_EQ(LayoutDisagreement::disagreementKey("//Ghbdtn,/"), "ghbdtn");
    EXPECT_EQ(LayoutDisagreement::disagreementKey("(Ghbdtn)!"), "ghbdtn");
    EXPECT_EQ(LayoutDisagreement::disagreementKey("?!"), "");
}

TEST_F(Disagreement, SecondTakeBackOfAnotherCorrectionVetoes) {
    const QUuid first = QUuid::createUuid();
    note("ghbdtn", first);
    EXPECT_FALSE(vetoed("ghbdtn"));
    EXPECT_TRUE(env.logContains("первый откат, в моменте уважаем, память не взводим (R46)"));
    // Undo and erase of the same correction count once.
    note("ghbdtn", first);
    EXPECT_FALSE(vetoed("ghbdtn"));
    EXPECT_TRUE(env.logContains("второй детектор про ТУ ЖЕ правку, откат считаем один (R46)"));

    note("Ghbdtn,");
    EXPECT_TRUE(vetoed("ghbdtn"));
    EXPECT_TRUE(vetoed("(GHBDTN)"));
    EXPECT_TRUE(env.logContains("— это слово не конвертируем 15 мин"));
    EXPECT_TRUE(engine->disagreementStrike.isEmpty());
}

TEST_F(Disagreement, FirstTakeBackVetoesWithTheSecondStrikeRuleOff) {
    makeEngine({{"MURMELO_RULE_VETO_SECOND", "0"}});
    ASSERT_EQ(engine->rules().vetoStrikes(), 1);
    note("ghbdtn");
    EXPECT_TRUE(vetoed("ghbdtn"));
}

TEST_F(Disagreement, VetoLastsFifteenMinutes) {
    memory().noteDisagreement("ghbdtn", "x", std::nullopt, 1);
    env.advance(899);
    EXPECT_TRUE(vetoed("ghbdtn"));
    env.advance(1);
    EXPECT_FALSE(vetoed("ghbdtn"));
    EXPECT_TRUE(engine->disagreementVeto.isEmpty());

    // A strike not followed up in time is forgotten: the next report starts afresh.
    note("rfr");
    env.advance(900);
    note("rfr");
    EXPECT_FALSE(vetoed("rfr"));
}

TEST_F(Disagreement, LiveWordOnTheWayToOrBeyondAVetoedWord) {
    memory().noteDisagreement("ghbdtn", "x", std::nullopt, 1);
    for (const char* held : {"ghb", "ghbdtn", "ghbdtnbr", "(ghb"}) EXPECT_TRUE(memory().disagreementVetoedLive(held)) << held;
    for (const char* free : {"gh1", "rfr", "", "!!"}) EXPECT_FALSE(memory().disagreementVetoedLive(free)) << free;
    env.advance(900);
    EXPECT_FALSE(memory().disagreementVetoedLive("ghb"));
}

TEST_F(Disagreement, ShortWordsAreNeverRecordedAndTheOldestVetoGoes) {
    memory().noteDisagreement("d", "x", std::nullopt, 1);
    memory().noteDisagreement("(?)", "x", std::nullopt, 1);
    EXPECT_TRUE(engine->disagreementVeto.isEmpty());

    for (int i = 0; i < 33; ++i) {
        memory().noteDisagreement(QStringLiteral("word%1").arg(i), "x", std::nullopt, 1);
        env.advance(1);
    }
    EXPECT_EQ(engine->disagreementVeto.size(), 32);
    EXPECT_FALSE(vetoed("word0"));
    EXPECT_TRUE(vetoed("word1"));
    EXPECT_TRUE(vetoed("word32"));
}

}  // namespace
