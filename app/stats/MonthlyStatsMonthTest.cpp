#include "stats/MonthlyStatsMonth.h"
#include "stats/MonthlyStatsSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <limits>

using namespace murmelo;

namespace {

const QStringList kBaseKeys = {
    "dictations", "dictatedWords", "dictatedCharacters", "dictationSeconds", "longestDictationCharacters",
    "punctuationCorrections", "caseCorrections", "typoCorrections", "avoidedManualCorrections",
    "layoutCorrections", "quickActions", "quickReplies", "meetingSeconds", "typingGapHistogram", "activeDays",
};

// A month with every field set to a distinct value, so that a field read into the wrong place
// or not written at all shows up as a difference.
MonthlyStatsMonth everyFieldSet() {
    return MonthlyStatsMonth{
        1, 2, 3, 4.5, 5, 6, 7, 8, 9, 10, 11, 12, 13.25,
        {{50, 14}, {1500, 15}},
        {2, 16, 31},
        17, 18, 19, 20.5, 21, 22, 23, 24, 25.5, 26, 27, 28, 29, 30, 31.5, 32.5, 33.5, 34, 35, 36, 37.5, 38,
        2, 31, 40, 41.5, 42.5, 43.5,
        MonthlySavedBenefitLedger{1.5, 3.0, 6.0, {{2, 0.1}}, {{3, 3.0}}, {{4, 3.0}}, {{5, {600, 20.0}}}},
    };
}

QByteArray encoded(const MonthlyStatsMonth& month) {
    return QJsonDocument(*month.toJson()).toJson(QJsonDocument::Compact);
}

std::optional<MonthlyStatsMonth> decoded(const QByteArray& bytes, QString* error = nullptr) {
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    EXPECT_EQ(parse.error, QJsonParseError::NoError) << bytes.constData();
    return MonthlyStatsMonth::fromJson(document.object(), error);
}

// The fresh month's JSON with one member replaced, added (when absent) or removed (value
// undefined).
QByteArray freshWith(const QString& key, const QJsonValue& value) {
    QJsonObject object = *MonthlyStatsMonth{}.toJson();
    if (value.isUndefined()) {
        object.remove(key);
    } else {
        object.insert(key, value);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

TEST(MonthlyStatsMonthTest, TheFreshMonthHasOnlyItsBaseMembers) {
    const MonthlyStatsMonth fresh;
    EXPECT_EQ(fresh.dictations, 0);
    EXPECT_EQ(fresh.meetingSeconds, 0.0);
    EXPECT_TRUE(fresh.typingGapHistogram.empty());
    EXPECT_TRUE(fresh.activeDays.empty());
    EXPECT_FALSE(fresh.measuredTypingCharacters);
    EXPECT_FALSE(fresh.measuredCappedProcessingSeconds);
    EXPECT_FALSE(fresh.savedBenefitLedger);

    const QJsonObject json = *fresh.toJson();
    QStringList keys = json.keys();
    QStringList expected = kBaseKeys;
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(json.value("typingGapHistogram"), QJsonObject());
    EXPECT_EQ(json.value("activeDays"), QJsonArray());
    EXPECT_EQ(decoded(encoded(fresh)), fresh);
}

TEST(MonthlyStatsMonthTest, AMonthWrittenAndReadBackIsIdentical) {
    MonthlyStatsMonth sparse;
    sparse.dictations = 4;
    sparse.dictationSeconds = 0.1 + 0.2;
    sparse.typingGapHistogram = {{75, 3}};
    sparse.activeDays = {9, 3};
    sparse.measuredEditingSeconds = 0.0;
    sparse.benefitLastObservedDay = 12;
    sparse.layoutCorrections = std::numeric_limits<qint64>::max();

    const struct { const char* name; MonthlyStatsMonth month; } cases[] = {
        {"every field", everyFieldSet()},
        {"some optional fields", sparse},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = encoded(c.month);
        const std::optional<MonthlyStatsMonth> back = decoded(bytes);
        ASSERT_TRUE(back) << c.name << ": " << bytes.constData();
        EXPECT_EQ(*back, c.month) << c.name;
        EXPECT_EQ(encoded(*back), bytes) << c.name;
    }
    const QJsonObject json = *sparse.toJson();
    EXPECT_TRUE(json.contains("measuredEditingSeconds")) << "present with 0 is still present";
    EXPECT_FALSE(json.contains("measuredTypingCharacters"));
    EXPECT_FALSE(json.contains("savedBenefitLedger"));
    EXPECT_EQ(json.size(), kBaseKeys.size() + 2);
}

TEST(MonthlyStatsMonthTest, EveryBaseMemberIsRequired) {
    for (const QString& key : kBaseKeys) {
        for (const QJsonValue& value : {QJsonValue(QJsonValue::Undefined), QJsonValue(QJsonValue::Null)}) {
            QString error;
            EXPECT_FALSE(decoded(freshWith(key, value), &error)) << key.toStdString();
            EXPECT_TRUE(error.contains(key)) << error.toStdString();
        }
    }
}

TEST(MonthlyStatsMonthTest, MembersAreReadByTheirTypes) {
    const struct {
        const char* name;
        const char* key;
        QJsonValue value;
        bool decodes;
    } cases[] = {
        {"optional missing", "measuredTypingCharacters", QJsonValue::Undefined, true},
        {"optional null", "measuredTypingCharacters", QJsonValue::Null, true},
        {"optional integer as text", "measuredTypingCharacters", "12", false},
        {"optional integer with a fraction", "measuredTypingCharacters", 1.5, false},
        {"optional integer written with a zero fraction", "measuredTypingCharacters", 3.0, true},
        {"optional seconds as Boolean", "measuredEditingSeconds", true, false},
        {"ledger null", "savedBenefitLedger", QJsonValue::Null, true},
        {"ledger malformed", "savedBenefitLedger", QJsonObject{{"migratedVoiceSeconds", 1}}, false},
        {"ledger not an object", "savedBenefitLedger", 3, false},
        {"integer as text", "dictations", "4", false},
        {"integer with a fraction", "dictations", 4.5, false},
        {"integer beyond 64 bits", "dictations", 9223372036854775808.0, false},
        {"seconds as text", "dictationSeconds", "1.5", false},
        {"histogram as array", "typingGapHistogram", QJsonArray{1, 2}, false},
        {"histogram key not a number", "typingGapHistogram", QJsonObject{{"fast", 3}}, false},
        {"histogram count with a fraction", "typingGapHistogram", QJsonObject{{"150", 2.5}}, false},
        {"histogram with a negative key", "typingGapHistogram", QJsonObject{{"-25", 1}}, true},
        {"day list as object", "activeDays", QJsonObject{}, false},
        {"day list with text", "activeDays", QJsonArray{1, "2"}, false},
        {"other member", "somethingElse", "ignored", true},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(bool(decoded(freshWith(c.key, c.value), &error)), c.decodes) << c.name;
        EXPECT_EQ(error.isEmpty(), c.decodes) << c.name << ": " << error.toStdString();
    }
    const std::optional<MonthlyStatsMonth> wholeThree = decoded(freshWith("measuredTypingCharacters", 3.0));
    ASSERT_TRUE(wholeThree);
    EXPECT_EQ(wholeThree->measuredTypingCharacters, 3);
    EXPECT_FALSE(decoded(freshWith("measuredTypingCharacters", QJsonValue::Null))->measuredTypingCharacters);
    EXPECT_EQ(decoded(freshWith("typingGapHistogram", QJsonObject{{"150", 2}, {"+75", 1}}))->typingGapHistogram,
              (std::map<qint64, qint64>{{75, 1}, {150, 2}}));
    EXPECT_FALSE(MonthlyStatsMonth::fromJson(QJsonValue(3)));
}

TEST(MonthlyStatsMonthTest, AValueJsonCannotHoldFailsTheEncodingInsteadOfWritingNull) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    MonthlyStatsMonth base;
    base.dictationSeconds = nan;
    MonthlyStatsMonth optional;
    optional.measuredSpeechWorkSeconds = std::numeric_limits<double>::infinity();
    MonthlyStatsMonth ledger;
    ledger.savedBenefitLedger = MonthlySavedBenefitLedger{0, 0, 0, {{4, nan}}};
    for (const MonthlyStatsMonth& month : {base, optional, ledger}) {
        QString error;
        EXPECT_FALSE(month.toJson(&error));
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(MonthlyStatsMonthTest, EqualityComparesEveryFieldAndDayOrder) {
    const MonthlyStatsMonth a = everyFieldSet();
    MonthlyStatsMonth b = a;
    EXPECT_EQ(a, b);
    b.activeDays = {31, 16, 2};
    EXPECT_NE(a, b);
    b = a;
    b.measuredCappedProcessingSeconds.reset();
    EXPECT_NE(a, b);
    b = a;
    b.savedBenefitLedger->pendingVoiceByDay[5].characters += 1;
    EXPECT_NE(a, b);
    b = a;
    b.meetingSeconds = 13.250000;
    EXPECT_EQ(a, b);

    MonthlyStatsSnapshot s{QDateTime::fromSecsSinceEpoch(0, Qt::UTC), a, {{QDateTime(), a}}, true, false};
    MonthlyStatsSnapshot t = s;
    EXPECT_EQ(s, t);
    t.trackedMonths.front().second = MonthlyStatsMonth{};
    EXPECT_NE(s, t);
}

// The month's first change gives it a ledger built from what it counted so far.
TEST(MonthlyStatsMonthTest, TheOpeningLedgerKeepsTheSavingCountedSoFar) {
    MonthlyStatsMonth month;
    month.punctuationCorrections = 1;
    month.measuredTypoCorrections = 2;
    month.layoutCorrections = 2;
    ASSERT_TRUE(month.initializeSavedBenefitLedger(14));
    const MonthlySavedBenefitLedger& ledger = *month.savedBenefitLedger;
    EXPECT_EQ(ledger.correctionSeconds(), 9.0);
    EXPECT_EQ(ledger.layoutSeconds(), 6.0);
    EXPECT_EQ(ledger.voiceSeconds(), 0.0);
    EXPECT_TRUE(ledger.pendingVoiceByDay.empty());

    const MonthlyStatsMonth before = month;
    EXPECT_FALSE(month.initializeSavedBenefitLedger(20));
    EXPECT_EQ(month, before);
}

TEST(MonthlyStatsMonthTest, DictationWithoutATypingSpeedWaitsOnTheLastObservedDay) {
    const struct {
        const char* name;
        std::optional<qint64> lastObserved;
        std::vector<qint64> activeDays;
        qint64 day;
    } cases[] = {
        {"last benefit day", 12, {3, 20}, 12},
        {"last active day", {}, {20, 3}, 20},
        {"current day", {}, {}, 25},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth month;
        month.dictatedCharacters = 900;
        month.dictationSeconds = 100;
        month.benefitLastObservedDay = c.lastObserved;
        month.activeDays = c.activeDays;
        month.measuredCappedDictationAudioSeconds = 60;
        month.measuredCappedSpeechWorkSeconds = 30;
        month.measuredCappedProcessingSeconds = 5;
        // The uncapped family disagrees; only the capped one values dictation.
        month.measuredDictationAudioSeconds = 90;
        month.measuredSpeechWorkSeconds = 80;
        month.measuredProcessingSeconds = 50;
        ASSERT_TRUE(month.initializeSavedBenefitLedger(25)) << c.name;
        const MonthlySavedBenefitLedger& ledger = *month.savedBenefitLedger;
        EXPECT_EQ(ledger.migratedVoiceSeconds, 0.0) << c.name;
        using Pending = MonthlySavedBenefitLedger::PendingVoiceBenefit;
        EXPECT_EQ(ledger.pendingVoiceByDay, (std::map<qint64, Pending>{{c.day, {900, 40.0 + 30.0 + 5.0}}}))
            << c.name;
    }
}

// Whether a month's ledger opens before or after a typing speed appears, the same dictation
// is worth the same saving.
TEST(MonthlyStatsMonthTest, PendingDictationSettlesToWhatTheRecomputedSavingGives) {
    const struct { const char* name; std::optional<double> cappedAudio, speech, processing; } cases[] = {
        {"every dictation timed", 100.0, 30.0, 5.0},
        {"some dictations timed", 60.0, 30.0, 5.0},
        {"no timing reported", {}, {}, {}},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth month;
        month.dictatedCharacters = 1500;
        month.dictationSeconds = 100;
        month.measuredCappedDictationAudioSeconds = c.cappedAudio;
        month.measuredCappedSpeechWorkSeconds = c.speech;
        month.measuredCappedProcessingSeconds = c.processing;
        ASSERT_TRUE(month.initializeSavedBenefitLedger(3));

        month.typingGapHistogram = {{200, 50}};
        MonthlyStatsMonth withoutLedger = month;
        withoutLedger.savedBenefitLedger.reset();
        ASSERT_TRUE(month.savedBenefitLedger->settlePendingVoiceBenefit(
            month.benefitComparisonTypingCharactersPerMinute()));
        EXPECT_DOUBLE_EQ(*month.voiceSavedSeconds(), *withoutLedger.recomputedVoiceSavedSeconds()) << c.name;
        EXPECT_GT(*month.voiceSavedSeconds(), 0.0) << c.name;
    }
}

TEST(MonthlyStatsMonthTest, WithATypingSpeedTheDictationSavingMigratesAtOnce) {
    MonthlyStatsMonth month;
    month.dictatedCharacters = 1000;
    month.dictationSeconds = 100;
    month.typingGapHistogram = {{200, 50}};
    ASSERT_TRUE(month.initializeSavedBenefitLedger(3));
    EXPECT_DOUBLE_EQ(month.savedBenefitLedger->migratedVoiceSeconds, 1000.0 / 300 * 60 - 100);
    EXPECT_TRUE(month.savedBenefitLedger->pendingVoiceByDay.empty());
}
