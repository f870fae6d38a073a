#include "stats/MonthlyBenefitFormula.h"
#include "stats/MonthlySavedBenefitLedger.h"

#include <QJsonDocument>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace murmelo;
using Pending = MonthlySavedBenefitLedger::PendingVoiceBenefit;

namespace {

std::optional<MonthlySavedBenefitLedger> decode(const char* json, QString* error = nullptr) {
    return MonthlySavedBenefitLedger::fromJson(QJsonDocument::fromJson(json).object(), error);
}

}  // namespace

TEST(MonthlyBenefitFormulaTest, CappedPauseKeepsPausesBetweenZeroAndFiveSeconds) {
    const struct { const char* name; double pause; double capped; } cases[] = {
        {"negative", -1.0, 0.0},
        {"inside", 2.5, 2.5},
        {"at the cap", 5.0, 5.0},
        {"above", 7.0, 5.0},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), 0.0},
        {"infinite", std::numeric_limits<double>::infinity(), 5.0},
    };
    for (const auto& c : cases) EXPECT_EQ(MonthlyBenefitFormula::cappedPause(c.pause), c.capped) << c.name;
}

TEST(MonthlySavedBenefitLedgerTest, SettlingValuesPendingDictationAtTheSpeedOfThatMoment) {
    const struct { const char* name; qint64 characters; double voice; qint64 speed; double booked; } cases[] = {
        {"slow typist", 600, 20.0, 300, 100.0},
        {"fast typist", 600, 20.0, 1500, 4.0},
        {"voice slower than typing books nothing", 600, 200.0, 300, 0.0},
    };
    for (const auto& c : cases) {
        MonthlySavedBenefitLedger ledger;
        ledger.voiceSecondsByDay[7] = 1.0;
        ledger.queueVoiceBenefit(7, c.characters, c.voice);
        EXPECT_TRUE(ledger.settlePendingVoiceBenefit(c.speed)) << c.name;
        EXPECT_DOUBLE_EQ(ledger.voiceSecondsByDay.at(7), 1.0 + c.booked) << c.name;
        EXPECT_TRUE(ledger.pendingVoiceByDay.empty()) << c.name;
        EXPECT_FALSE(ledger.settlePendingVoiceBenefit(c.speed)) << c.name << ": nothing left to settle";
    }
}

TEST(MonthlySavedBenefitLedgerTest, WithoutAUsableSpeedPendingDictationWaits) {
    for (std::optional<qint64> speed : {std::optional<qint64>{}, std::optional<qint64>{0}, std::optional<qint64>{-5}}) {
        MonthlySavedBenefitLedger ledger;
        ledger.queueVoiceBenefit(3, 100, 4.0);
        const MonthlySavedBenefitLedger before = ledger;
        EXPECT_FALSE(ledger.settlePendingVoiceBenefit(speed));
        EXPECT_EQ(ledger, before);
        EXPECT_EQ(ledger.voiceSeconds(), 0.0) << "pending entries are not saving yet";
    }
}

TEST(MonthlySavedBenefitLedgerTest, BooksPerDayAndTotalsIncludeTheMigratedValues) {
    MonthlySavedBenefitLedger ledger{1.5, 9.0, 6.0};
    ledger.addCorrectionBenefit(5, 1);
    ledger.addCorrectionBenefit(5, 1);
    ledger.addCorrectionBenefit(6, 1);
    ledger.addLayoutBenefit(6);
    ledger.voiceSecondsByDay[2] = 10.0;
    EXPECT_EQ(ledger.correctionSecondsByDay, (std::map<qint64, double>{{5, 6.0}, {6, 3.0}}));
    EXPECT_EQ(ledger.layoutSecondsByDay, (std::map<qint64, double>{{6, 3.0}}));
    EXPECT_DOUBLE_EQ(ledger.correctionSeconds(), 18.0);
    EXPECT_DOUBLE_EQ(ledger.layoutSeconds(), 9.0);
    EXPECT_DOUBLE_EQ(ledger.voiceSeconds(), 11.5);
}

TEST(MonthlySavedBenefitLedgerTest, QueuedVoiceAccumulatesPerDayAndNeverGoesDown) {
    MonthlySavedBenefitLedger ledger;
    ledger.queueVoiceBenefit(4, 100, 10.0);
    ledger.queueVoiceBenefit(4, 50, -3.0);
    ledger.queueVoiceBenefit(4, 10, std::numeric_limits<double>::quiet_NaN());
    ledger.queueVoiceBenefit(0, 99, 1.0);
    EXPECT_EQ(ledger.pendingVoiceByDay, (std::map<qint64, Pending>{{4, {160, 10.0}}}));

    // A stored count at the limit stays there.
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    ledger.pendingVoiceByDay[5] = {max, 1.0};
    ledger.queueVoiceBenefit(5, 1, 1.0);
    EXPECT_EQ(ledger.pendingVoiceByDay[5].characters, max);
}

TEST(MonthlySavedBenefitLedgerTest, WritesAllSevenMembersAndReadsThemBack) {
    const MonthlySavedBenefitLedger empty;
    const QJsonObject emptyJson = *empty.toJson();
    EXPECT_EQ(QJsonDocument(emptyJson).toJson(QJsonDocument::Compact),
              R"({"correctionSecondsByDay":{},"layoutSecondsByDay":{},"migratedCorrectionSeconds":0,)"
              R"("migratedLayoutSeconds":0,"migratedVoiceSeconds":0,"pendingVoiceByDay":{},"voiceSecondsByDay":{}})");

    const MonthlySavedBenefitLedger full{
        12.25, 9.0, 6.0, {{1, 0.1}, {31, 1e-7}}, {{5, 6.0}}, {{6, 3.0}}, {{2, {600, 20.5}}, {-1, {0, 0.0}}}};
    const QByteArray bytes = QJsonDocument(*full.toJson()).toJson(QJsonDocument::Compact);
    const std::optional<MonthlySavedBenefitLedger> back = decode(bytes.constData());
    ASSERT_TRUE(back) << bytes.constData();
    EXPECT_EQ(*back, full);
}

TEST(MonthlySavedBenefitLedgerTest, AnIncompleteOrMistypedLedgerDoesNotDecode) {
    const char* complete = R"({"migratedVoiceSeconds":0,"migratedCorrectionSeconds":0,"migratedLayoutSeconds":0,)"
                           R"("voiceSecondsByDay":{},"correctionSecondsByDay":{},"layoutSecondsByDay":{},)"
                           R"("pendingVoiceByDay":{},"other":"ignored"})";
    ASSERT_TRUE(decode(complete));
    const struct { const char* name; const char* from; const char* to; } broken[] = {
        {"pending map missing", R"("pendingVoiceByDay":{},)", ""},
        {"pending map null", R"("pendingVoiceByDay":{})", R"("pendingVoiceByDay":null)"},
        {"migrated value as text", R"("migratedVoiceSeconds":0)", R"("migratedVoiceSeconds":"0")"},
        {"day that is not a number", R"("voiceSecondsByDay":{})", R"("voiceSecondsByDay":{"x":1})"},
        {"day with a fraction", R"("voiceSecondsByDay":{})", R"("voiceSecondsByDay":{"1.5":1})"},
        {"one day named twice", R"("voiceSecondsByDay":{})", R"("voiceSecondsByDay":{"5":1,"05":2})"},
        {"seconds as text", R"("layoutSecondsByDay":{})", R"("layoutSecondsByDay":{"3":"3.0"})"},
        {"pending entry without seconds", R"("pendingVoiceByDay":{})", R"("pendingVoiceByDay":{"3":{"characters":5}})"},
        {"pending characters with a fraction", R"("pendingVoiceByDay":{})",
         R"("pendingVoiceByDay":{"3":{"characters":5.5,"voiceSeconds":1}})"},
    };
    for (const auto& c : broken) {
        QByteArray json(complete);
        json.replace(c.from, c.to);
        ASSERT_NE(json, QByteArray(complete)) << c.name;
        QString error;
        EXPECT_FALSE(decode(json.constData(), &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

TEST(MonthlySavedBenefitLedgerTest, AValueJsonCannotHoldFailsTheEncodingInsteadOfWritingNull) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const MonthlySavedBenefitLedger cases[] = {
        {nan},
        {0, 0, 0, {{3, std::numeric_limits<double>::infinity()}}},
        {0, 0, 0, {}, {}, {}, {{3, {1, nan}}}},
    };
    for (const MonthlySavedBenefitLedger& ledger : cases) {
        QString error;
        EXPECT_FALSE(ledger.toJson(&error));
        EXPECT_FALSE(error.isEmpty());
    }
}
