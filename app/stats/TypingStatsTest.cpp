#include "stats/TypingStats.h"

#include "TestEnvironment.h"
#include "stats/MonthlyStats.h"
#include "stats/MonthlyStatsStore.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace murmelo;
using TypingStats::MonthlyEvent;
using TypingStats::MonthlySessionDecision;

namespace {

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;
constexpr quint64 kFn = 0x800000;
constexpr qint64 kA = 0, kS = 1, kZ = 6, kX = 7, kC = 8, kSpace = 49, kDelete = 51, kEscape = 53, kReturn = 36;

class TypingStatsTest : public ::testing::Test {
protected:
    TypingStatsTest() {
        MonthlyStats::resetForTesting();
        TypingStats::resetForTesting();
    }
    ~TypingStatsTest() override {
        TypingStats::resetForTesting();
        MonthlyStats::resetForTesting();
    }

    // A physical key down `after` seconds after the previous one, seen at once.
    void key(qint64 keyCode, double after = 0.0, quint64 flags = 0) {
        env.clock().advance(after);
        TypingStats::note(stampNow(), keyCode, flags);
    }
    quint64 stampNow(double age = 0.0) const {
        return quint64(std::llround((Clock::shared().uptime() - age) * 1e9));
    }
    MonthlyStatsMonth month() { return MonthlyStats::snapshot().record; }

    test::TestEnvironment env;
};

TEST_F(TypingStatsTest, KeysAreClassifiedForTheMonthlyMeasures) {
    const struct {
        const char* name;
        qint64 keyCode;
        quint64 flags;
        MonthlyEvent event;
    } cases[] = {
        {"letter", kA, 0, {1, true, 0}},
        {"letter with Shift", kA, kShift, {1, true, 0}},
        {"letter with Option", kA, kOption, {1, true, 0}},
        {"space", kSpace, 0, {1, true, 0}},
        {"keypad digit", 83, 0, {1, true, 0}},
        {"ISO section key", 10, 0, {0, false, 0}},
        {"Delete", kDelete, 0, {0, true, 1}},
        {"Forward Delete", 117, 0, {0, true, 1}},
        {"Return", kReturn, 0, {0, true, 0}},
        {"arrow with Command", 123, kCommand, {0, true, 0}},
        {"Command-Z", kZ, kCommand, {0, true, 1}},
        {"Command-X", kX, kCommand, {0, true, 1}},
        {"Command-C", kC, kCommand, {0, true, 0}},
        {"Command-A", kA, kCommand, {0, true, 0}},
        {"Command-S", kS, kCommand, {0, false, 0}},
        {"Control-A", kA, kControl, {0, false, 0}},
        {"Fn with a letter", kA, kFn, {0, false, 0}},
        {"Escape", kEscape, 0, {0, false, 0}},
        {"F5", 96, 0, {0, false, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TypingStats::classifyMonthlyEvent(c.keyCode, c.flags), c.event) << c.name;
        EXPECT_EQ(TypingStats::countsForMonthlySpeed(c.keyCode, c.flags), c.event.characters == 1) << c.name;
    }
}

TEST_F(TypingStatsTest, TheBurstRule) {
    const MonthlyEvent text{1, true, 0}, editing{0, true, 1}, other{0, false, 0};
    const struct {
        const char* name;
        MonthlyEvent event;
        std::optional<double> since;
        MonthlySessionDecision decision;
    } cases[] = {
        {"first text key starts a burst", text, {}, {true, false}},
        {"first editing key is not recorded", editing, {}, {false, false}},
        {"no time passed", text, 0.0, {true, false}},
        {"text within the gap", text, 1.0, {true, true}},
        {"editing within the gap", editing, 0.4, {true, true}},
        {"other key within the gap", other, 0.4, {false, false}},
        {"text after the gap", text, 1.01, {true, false}},
        {"editing after the gap", editing, 1.01, {false, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TypingStats::monthlySessionDecision(c.event, c.since), c.decision) << c.name;
}

TEST_F(TypingStatsTest, TheFirstKeyStartsABurstAndASample) {
    key(kA);
    EXPECT_EQ(TypingStats::snapshot().samples, 0);
    const MonthlyStatsMonth m = month();
    EXPECT_TRUE(m.typingGapHistogram.empty());
    EXPECT_EQ(m.measuredTypingCharacters, 1);
    EXPECT_EQ(m.measuredEditingBursts, 1);
    EXPECT_EQ(m.measuredEditingSeconds, 0.0);
    EXPECT_EQ(m.measuredBenefitUntimedStarts, 1);
    EXPECT_EQ(m.measuredBenefitEditingSeconds, 0.0);
}

TEST_F(TypingStatsTest, TwoLettersMakeOneGapInOneBurst) {
    key(kA);
    key(kS, 0.2);
    EXPECT_NEAR(*TypingStats::snapshot().gapMed, 0.2, 1e-9);
    const MonthlyStatsMonth m = month();
    EXPECT_EQ(m.typingGapHistogram, (std::map<qint64, qint64>{{200, 1}}));
    EXPECT_NEAR(*m.measuredEditingSeconds, 0.2, 1e-9);
    EXPECT_EQ(m.measuredEditingBursts, 1);
    EXPECT_NEAR(*m.measuredBenefitEditingSeconds, 0.2, 1e-9);
    EXPECT_EQ(m.measuredBenefitUntimedStarts, 1);
}

TEST_F(TypingStatsTest, PausesAfterASpaceAreKeptApart) {
    key(kA);
    key(kSpace, 0.15);
    key(kS, 0.3);
    const TypingStats::Snapshot s = TypingStats::snapshot();
    EXPECT_NEAR(*s.spaceMed, 0.3, 1e-9);
    EXPECT_NEAR(*s.gapMed, 0.15, 1e-9);
    EXPECT_EQ(s.samples, 1);
}

TEST_F(TypingStatsTest, DeletionsCorrectOnlyWhatWasTypedInTheBurst) {
    key(kA);
    key(kS, 0.2);
    key(kDelete, 0.2);
    key(kDelete, 0.2);
    key(kDelete, 0.2);
    const MonthlyStatsMonth m = month();
    EXPECT_EQ(m.measuredEditingEvents, 5);
    EXPECT_EQ(m.measuredCorrectionActions, 2);
    EXPECT_EQ(m.measuredBenefitEditingEvents, 5);
    EXPECT_EQ(m.measuredBenefitCorrectionActions, 2);
}

TEST_F(TypingStatsTest, ALateDeletionEndsTheBurstButKeepsTheSample) {
    key(kA);
    key(kDelete, 3.0);
    const MonthlyStatsMonth m = month();
    EXPECT_EQ(m.measuredEditingEvents, 1);
    EXPECT_EQ(m.measuredCorrectionActions, 0);
    EXPECT_EQ(m.measuredBenefitEditingEvents, 2);
    EXPECT_EQ(m.measuredBenefitEditingSeconds, 3.0);
    EXPECT_EQ(m.measuredBenefitCorrectionActions, 1);
    // The burst is over: the next letter starts a new one.
    key(kS, 0.2);
    EXPECT_EQ(month().measuredEditingBursts, 2);
    EXPECT_EQ(month().measuredBenefitUntimedStarts, 1);
}

TEST_F(TypingStatsTest, AKeyThatIsNeitherTextNorEditingEndsBurstAndSample) {
    const struct {
        const char* name;
        qint64 keyCode;
        quint64 flags;
    } cases[] = {{"Escape", kEscape, 0}, {"Command-S", kS, kCommand}, {"Control-A", kA, kControl}};
    for (const auto& c : cases) {
        MonthlyStats::resetForTesting();
        MonthlyStats::deleteAll();
        TypingStats::resetForTesting();
        key(kA);
        key(c.keyCode, 0.2, c.flags);
        key(kS, 0.2);
        const MonthlyStatsMonth m = month();
        EXPECT_TRUE(m.typingGapHistogram.empty()) << c.name;
        EXPECT_EQ(m.measuredEditingBursts, 2) << c.name;
        EXPECT_EQ(m.measuredBenefitUntimedStarts, 2) << c.name;
        EXPECT_EQ(m.measuredEditingEvents, 2) << c.name;
    }
}

TEST_F(TypingStatsTest, CommandShortcutsThatEdit) {
    key(kA);
    key(kZ, 0.3, kCommand);
    key(kC, 0.3, kCommand);
    const MonthlyStatsMonth m = month();
    EXPECT_EQ(m.measuredEditingEvents, 3);
    EXPECT_EQ(m.measuredCorrectionActions, 1);
    EXPECT_EQ(m.measuredTypingCharacters, 1);
}

TEST_F(TypingStatsTest, DelaySamplesAndRhythmSamplesHaveTheirLimits) {
    env.clock().advance(1.0);
    TypingStats::note(stampNow(0.6), kA, 0);
    EXPECT_FALSE(TypingStats::snapshot().delayMed);
    env.clock().advance(0.2);
    TypingStats::note(stampNow(0.01), kS, 0);
    EXPECT_NEAR(*TypingStats::snapshot().delayMed, 0.01, 1e-6);
    key(kA, 5.0);
    EXPECT_EQ(TypingStats::snapshot().samples, 1) << "a pause of 5 s is no rhythm sample";
}

TEST_F(TypingStatsTest, SuggestedQuietComesFromPausesAfterASpace) {
    const struct {
        const char* name;
        int samples;
        double pause;
        std::optional<double> quiet;
    } cases[] = {
        {"too few", 29, 0.3, {}},
        {"slow: the upper bound", 30, 1.2, 0.8},
        {"fast: the lower bound", 30, 0.1, 0.2},
        {"in between", 30, 0.5, 0.5},
    };
    for (const auto& c : cases) {
        TypingStats::resetForTesting();
        for (int i = 0; i < c.samples; ++i) {
            key(kSpace, 0.3);
            key(kA, c.pause);
        }
        const std::optional<double> quiet = TypingStats::suggestedQuiet();
        ASSERT_EQ(quiet.has_value(), c.quiet.has_value()) << c.name;
        if (quiet) {
            EXPECT_NEAR(*quiet, *c.quiet, 1e-9) << c.name;
        }
    }
}

TEST_F(TypingStatsTest, TheRhythmLineComesAtFiftyGapsAndThenEveryFiveMinutes) {
    const QString prefix = QStringLiteral("печать/ритм: символы ");
    key(kA);
    for (int i = 0; i < 49; ++i) key(kA, 0.2);
    EXPECT_FALSE(env.logContains(prefix));
    key(kA, 0.2);
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "печать/ритм: символы 200/200 мс (медиана/90%), после пробела ?/? мс, наша задержка на клавише 0/0 мс (50 символов)")));
    for (int i = 0; i < 100; ++i) key(kA, 0.2);
    EXPECT_EQ(env.logText().count(prefix), 1);
    key(kA, 300.0);
    key(kA, 0.2);
    EXPECT_EQ(env.logText().count(prefix), 2);
}

TEST_F(TypingStatsTest, SwitchedOffStatisticsCountNoTyping) {
    env.defaults().set(QString::fromLatin1(MonthlyStats::enabledKey), false);
    key(kA);
    key(kS, 0.2);
    EXPECT_EQ(month(), MonthlyStatsMonth{});
    EXPECT_FALSE(MonthlyStats::store().firstTrackedMonth());
}

}  // namespace
