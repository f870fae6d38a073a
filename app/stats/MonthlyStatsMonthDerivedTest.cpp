#include "stats/MonthlyStatsMonth.h"

#include <gtest/gtest.h>
#include <limits>

using namespace murmelo;

namespace {

// A month whose median pause is `pauseMilliseconds` (50 pauses of that length).
MonthlyStatsMonth withLegacySpeed(qint64 pauseMilliseconds) {
    MonthlyStatsMonth month;
    month.typingGapHistogram = {{pauseMilliseconds, 50}};
    return month;
}

struct Timeline {
    qint64 characters, corrections, events, untimed;
    double seconds;
};

void setTestTimeline(MonthlyStatsMonth& m, const Timeline& t) {
    m.measuredTestTypingCharacters = t.characters;
    m.measuredTestCorrectionActions = t.corrections;
    m.measuredTestEditingEvents = t.events;
    m.measuredTestEditingBursts = t.untimed;
    m.measuredTestEditingSeconds = t.seconds;
}

void setBenefitSample(MonthlyStatsMonth& m, const Timeline& t) {
    m.measuredBenefitTypingCharacters = t.characters;
    m.measuredBenefitCorrectionActions = t.corrections;
    m.measuredBenefitEditingEvents = t.events;
    m.measuredBenefitUntimedStarts = t.untimed;
    m.measuredBenefitEditingSeconds = t.seconds;
}

void setBurstTimeline(MonthlyStatsMonth& m, const Timeline& t) {
    m.measuredTypingCharacters = t.characters;
    m.measuredCorrectionActions = t.corrections;
    m.measuredEditingEvents = t.events;
    m.measuredEditingBursts = t.untimed;
    m.measuredEditingSeconds = t.seconds;
}

}  // namespace

TEST(MonthlyStatsDerivedTest, LegacySpeedComesFromTheMedianPause) {
    const struct {
        const char* name;
        std::map<qint64, qint64> histogram;
        std::optional<qint64> speed;
    } cases[] = {
        {"49 pauses are too few", {{200, 49}}, {}},
        {"50 pauses are enough", {{200, 50}}, 300},
        {"running total above the middle", {{100, 30}, {200, 20}}, 600},
        {"running total at the middle is not above it", {{100, 24}, {200, 26}}, 300},
        {"median at pause 0 takes the next pause", {{0, 30}, {200, 20}}, 300},
        {"median at a negative pause takes the next pause", {{-25, 40}, {50, 5}, {400, 5}}, 1200},
        {"no positive pause from the median on", {{-50, 10}, {0, 40}}, {}},
        {"pause beyond two minutes", {{200000, 50}}, 0},
        {"halves round away from zero", {{160, 50}}, 375},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m;
        m.typingGapHistogram = c.histogram;
        EXPECT_EQ(m.legacyTypingCharactersPerMinute(), c.speed) << c.name;
    }
    MonthlyStatsMonth m;
    m.typingGapHistogram = {{100, 24}, {200, 26}};
    EXPECT_EQ(m.typingSamples(), 50);
}

TEST(MonthlyStatsDerivedTest, EffectiveSpeedChargesEachBurstStartOneCharacterAtTheLegacySpeed) {
    const struct {
        const char* name;
        qint64 pause;  // of the legacy speed
        Timeline test;
        std::optional<qint64> speed;
    } cases[] = {
        // N = 900, time = 0.2 × 50 + 240 = 250 s.
        {"worked example", 200, {1000, 100, 1200, 50, 240}, 216},
        {"fewer events than characters", 200, {1000, 100, 999, 50, 240}, {}},
        {"fewer than 100 characters", 200, {99, 0, 200, 0, 60}, {}},
        {"fewer than 50 net characters", 200, {100, 60, 200, 0, 60}, {}},
        {"corrections beyond the characters leave nothing", 200, {150, 400, 300, 0, 60}, {}},
        {"fewer than 50 timed events", 200, {100, 0, 149, 100, 60}, {}},
        {"no timed seconds", 200, {1000, 0, 1200, 50, 0}, {}},
        {"no legacy speed", 0, {1000, 100, 1200, 50, 240}, {}},
        {"legacy speed 0", 200000, {1000, 100, 1200, 50, 240}, {}},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m = c.pause ? withLegacySpeed(c.pause) : MonthlyStatsMonth{};
        setTestTimeline(m, c.test);
        EXPECT_EQ(m.effectiveTypingCharactersPerMinute(), c.speed) << c.name;
    }
    MonthlyStatsMonth m = withLegacySpeed(200);
    setTestTimeline(m, {1000, 100, 999, 50, 240});
    EXPECT_EQ(m.typingCharactersPerMinute(), 300) << "falls back to the legacy speed";
    m.measuredTestEditingSeconds.reset();
    m.measuredTestEditingEvents = 1200;
    EXPECT_FALSE(m.effectiveTypingCharactersPerMinute()) << "the seconds must be present";
}

TEST(MonthlyStatsDerivedTest, BenefitSpeedChargesEachUntimedStartOneCharacterAtTheLegacySpeed) {
    const struct {
        const char* name;
        Timeline sample;
        std::optional<qint64> speed;
    } cases[] = {
        {"worked figures", {1000, 100, 1200, 50, 240}, 216},
        {"untimed starts beyond the events", {1000, 0, 1000, 5000, 240}, {}},
        {"fewer events than characters", {1000, 100, 999, 50, 240}, {}},
        {"no untimed starts", {600, 0, 600, 0, 120}, 300},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m = withLegacySpeed(200);
        setBenefitSample(m, c.sample);
        EXPECT_EQ(m.benefitTypingCharactersPerMinute(), c.speed) << c.name;
    }
}

TEST(MonthlyStatsDerivedTest, TimelineSpeedChargesEachBurstTheMeanTimedPause) {
    const struct {
        const char* name;
        Timeline bursts;
        std::optional<qint64> speed;
    } cases[] = {
        // T = 1150, time = 230 + 230 ÷ 1150 × 50 = 240 s, N = 900.
        {"bursts charged", {1000, 100, 1200, 50, 230}, 225},
        {"more corrections than characters", {1000, 1100, 1200, 50, 230}, {}},
        {"needs no legacy speed and no events per character", {1000, 0, 100, 50, 100}, 300},
        {"fewer than 50 timed events", {1000, 0, 99, 50, 100}, {}},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m;
        setBurstTimeline(m, c.bursts);
        EXPECT_EQ(m.timelineTypingCharactersPerMinute(), c.speed) << c.name;
    }
}

TEST(MonthlyStatsDerivedTest, SavingsCompareAgainstBenefitThenEffectiveThenLegacySpeed) {
    MonthlyStatsMonth m = withLegacySpeed(200);
    EXPECT_EQ(m.benefitComparisonTypingCharactersPerMinute(), 300);
    setTestTimeline(m, {1000, 100, 1200, 50, 240});
    EXPECT_EQ(m.benefitComparisonTypingCharactersPerMinute(), 216);
    setBenefitSample(m, {600, 0, 600, 0, 120});
    EXPECT_EQ(m.benefitComparisonTypingCharactersPerMinute(), 300);
    EXPECT_EQ(m.typingCharactersPerMinute(), 216) << "the speed shown ignores the benefit sample";
    EXPECT_FALSE(MonthlyStatsMonth{}.benefitComparisonTypingCharactersPerMinute());
}

TEST(MonthlyStatsDerivedTest, DictationSavingChargesTimedDictationsTheirVoiceTimeAndTheRestTheirAudio) {
    const struct {
        const char* name;
        std::optional<double> cappedAudio, speech, processing;
        double saved;
    } cases[] = {
        // 1000 characters at 300 per minute take 200 s to type.
        {"no dictation timed", {}, {}, {}, 100.0},
        {"every dictation timed", 100.0, 30.0, 5.0, 165.0},
        {"part timed: uncovered audio 40 s", 60.0, 30.0, 5.0, 125.0},
        {"negative timings count as 0", 100.0, -30.0, -5.0, 200.0},
        {"capped audio above the audio", 150.0, 30.0, 5.0, 165.0},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m = withLegacySpeed(200);
        m.dictatedCharacters = 1000;
        m.dictationSeconds = 100;
        m.measuredCappedDictationAudioSeconds = c.cappedAudio;
        m.measuredCappedSpeechWorkSeconds = c.speech;
        m.measuredCappedProcessingSeconds = c.processing;
        EXPECT_DOUBLE_EQ(*m.recomputedVoiceSavedSeconds(), c.saved) << c.name;
        EXPECT_DOUBLE_EQ(*m.voiceSavedSeconds(), c.saved) << c.name;
        EXPECT_DOUBLE_EQ(*m.legacySavedSeconds(), 100.0) << c.name << ": the legacy saving charges all audio";
    }
    MonthlyStatsMonth slow = withLegacySpeed(200);
    slow.dictatedCharacters = 10;
    slow.dictationSeconds = 100;
    EXPECT_EQ(slow.recomputedVoiceSavedSeconds(), 0.0) << "never below 0";
    EXPECT_EQ(slow.legacySavedSeconds(), 0.0);
}

TEST(MonthlyStatsDerivedTest, WithoutATypingSpeedNoDictationSavingIsClaimed) {
    MonthlyStatsMonth none;
    EXPECT_EQ(none.recomputedVoiceSavedSeconds(), 0.0) << "nothing dictated is a saving of 0";
    EXPECT_EQ(none.voiceSavedSeconds(), 0.0);
    EXPECT_EQ(none.savedSeconds(), 0.0);

    MonthlyStatsMonth dictated;
    dictated.dictatedCharacters = 500;
    dictated.dictationSeconds = 30;
    EXPECT_FALSE(dictated.recomputedVoiceSavedSeconds());
    EXPECT_FALSE(dictated.voiceSavedSeconds());
    EXPECT_FALSE(dictated.legacySavedSeconds());
    EXPECT_FALSE(dictated.savedSeconds());
    dictated.layoutCorrections = 1;
    EXPECT_EQ(dictated.savedSeconds(), 3.0);
}

TEST(MonthlyStatsDerivedTest, WithALedgerSavingsAreTheLedgerTotals) {
    MonthlyStatsMonth m = withLegacySpeed(200);
    m.dictatedCharacters = 1000;
    m.punctuationCorrections = 4;
    m.layoutCorrections = 1;
    m.savedBenefitLedger = MonthlySavedBenefitLedger{};
    EXPECT_EQ(m.savedSeconds(), 0.0) << "a ledger of zeros is a saving of 0, not none";
    EXPECT_EQ(m.voiceSavedSeconds(), 0.0);

    m.savedBenefitLedger = MonthlySavedBenefitLedger{10.0, 9.0, 6.0, {{2, 5.0}}, {{2, 3.0}}, {{3, 3.0}}};
    m.savedBenefitLedger->queueVoiceBenefit(4, 1000, 0.0);
    m.layoutCorrections = 0;  // an undone layout correction keeps its booked saving
    EXPECT_EQ(m.voiceSavedSeconds(), 15.0) << "pending dictation is not saving yet";
    EXPECT_EQ(m.correctionSavedSeconds(), 12.0);
    EXPECT_EQ(m.layoutSavedSeconds(), 9.0);
    EXPECT_EQ(m.savedSeconds(), 36.0);
}

TEST(MonthlyStatsDerivedTest, CorrectionCountsJoinOlderAndMeasuredCounters) {
    MonthlyStatsMonth m;
    m.punctuationCorrections = 1;
    m.caseCorrections = 2;
    m.typoCorrections = 3;
    m.measuredPunctuationCorrections = 10;
    m.measuredTypoCorrections = 30;
    m.avoidedManualCorrections = 100;
    m.layoutCorrections = 5;
    EXPECT_EQ(m.correctionsTotal(), 46);
    EXPECT_EQ(m.preciseCorrectionsTotal(), 40);
    EXPECT_EQ(m.preciseCaseCorrections(), 0);
    EXPECT_EQ(m.displayedPunctuationCorrections(), 11);
    EXPECT_EQ(m.displayedCaseCorrections(), 2);
    EXPECT_EQ(m.displayedTypoCorrections(), 33);
    EXPECT_EQ(m.correctionSavedSeconds(), 138.0);
    EXPECT_EQ(m.layoutSavedSeconds(), 15.0);
    EXPECT_EQ(m.savedSeconds(), 153.0);

    const struct { const char* name; qint64 MonthlyStatsMonth::*field; bool legacy; } legacyCases[] = {
        {"older punctuation", &MonthlyStatsMonth::punctuationCorrections, true},
        {"avoided corrections", &MonthlyStatsMonth::avoidedManualCorrections, true},
        {"layout corrections", &MonthlyStatsMonth::layoutCorrections, false},
    };
    for (const auto& c : legacyCases) {
        MonthlyStatsMonth only;
        only.measuredCaseCorrections = 7;
        only.*c.field = 1;
        EXPECT_EQ(only.hasLegacyCorrectionData(), c.legacy) << c.name;
    }
}

TEST(MonthlyStatsDerivedTest, VoiceSpeedAndItsMultiplierOverTheTypingSpeed) {
    MonthlyStatsMonth m = withLegacySpeed(200);
    m.measuredCappedDictatedCharacters = 600;
    m.measuredCappedSpeechWorkSeconds = 60;
    m.measuredCappedProcessingSeconds = 6;
    EXPECT_EQ(m.voiceCharactersPerMinute(), 600);
    EXPECT_DOUBLE_EQ(*m.benefitVoiceSecondsPerCharacter(), 0.11);
    EXPECT_DOUBLE_EQ(*m.voiceToTypingMultiplier(), 2.0);

    MonthlyStatsMonth processingOnly;
    processingOnly.measuredCappedDictatedCharacters = 100;
    processingOnly.measuredCappedProcessingSeconds = 5;
    EXPECT_FALSE(processingOnly.voiceCharactersPerMinute()) << "speech work is required";
    EXPECT_DOUBLE_EQ(*processingOnly.benefitVoiceSecondsPerCharacter(), 0.05);
    EXPECT_FALSE(processingOnly.voiceToTypingMultiplier());

    MonthlyStatsMonth noTyping = m;
    noTyping.typingGapHistogram.clear();
    EXPECT_FALSE(noTyping.voiceToTypingMultiplier());
    EXPECT_FALSE(MonthlyStatsMonth{}.benefitVoiceSecondsPerCharacter());
}

TEST(MonthlyStatsDerivedTest, VoiceShareAmongComparableCharacters) {
    const struct {
        const char* name;
        std::optional<qint64> voice, typed, corrections;
        std::optional<double> share;
    } cases[] = {
        {"300 voice, 700 manual", 300, 700, {}, 0.3},
        {"corrections lower the manual characters", 300, 800, 100, 0.3},
        {"corrections limited to the characters", 300, 100, 500, 1.0},
        {"both 0", 0, 0, {}, {}},
        {"none measured", {}, {}, {}, {}},
        {"negative voice counts as 0", -50, 100, {}, 0.0},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m;
        m.measuredCappedDictatedCharacters = c.voice;
        m.measuredBenefitTypingCharacters = c.typed;
        m.measuredBenefitCorrectionActions = c.corrections;
        EXPECT_EQ(m.voiceInputShare(), c.share) << c.name;
    }
}

TEST(MonthlyStatsDerivedTest, ObservedDaysFallBackToTheActiveDays) {
    const struct {
        const char* name;
        std::optional<qint64> first, last;
        std::vector<qint64> active;
        std::optional<qint64> days;
    } cases[] = {
        {"first from the active days", {}, 20, {3, 9, 17}, 18},
        {"both from the active days, unsorted", {}, {}, {17, 3, 9}, 15},
        {"both recorded", 5, 5, {}, 1},
        {"nothing to go by", {}, 20, {}, {}},
        {"first below day 1", 0, 20, {}, {}},
        {"last before first", 10, 4, {}, {}},
    };
    for (const auto& c : cases) {
        MonthlyStatsMonth m;
        m.benefitFirstObservedDay = c.first;
        m.benefitLastObservedDay = c.last;
        m.activeDays = c.active;
        EXPECT_EQ(m.benefitObservationDays(), c.days) << c.name;
    }
}

TEST(MonthlyStatsDerivedTest, ForecastScalesAQuarterOfTheTypingToAThirtyDayMonth) {
    // M = 1000, P = 200 (a 300 ms median pause), observed days 10.
    const auto month = [](double voiceSeconds) {
        MonthlyStatsMonth m = withLegacySpeed(300);
        m.measuredBenefitTypingCharacters = 1000;
        m.measuredCappedDictatedCharacters = 100;
        m.measuredCappedSpeechWorkSeconds = voiceSeconds;
        m.benefitFirstObservedDay = 1;
        m.benefitLastObservedDay = 10;
        return m;
    };
    EXPECT_NEAR(*month(10).potentialSavedSeconds(), 150.0, 1e-9) << "0.25 × 1000 × (0.3 − 0.1) ÷ 10 × 30";
    EXPECT_EQ(month(30).potentialSavedSeconds(), 0.0);
    EXPECT_EQ(month(45).potentialSavedSeconds(), 0.0);

    const struct { const char* name; void (*spoil)(MonthlyStatsMonth&); } absent[] = {
        {"no observed days", [](MonthlyStatsMonth& m) { m.benefitFirstObservedDay.reset(); }},
        {"no manual characters", [](MonthlyStatsMonth& m) { m.measuredBenefitCorrectionActions = 1000; }},
        {"no typing speed", [](MonthlyStatsMonth& m) { m.typingGapHistogram.clear(); }},
        {"no voice cost", [](MonthlyStatsMonth& m) { m.measuredCappedSpeechWorkSeconds.reset(); }},
    };
    for (const auto& c : absent) {
        MonthlyStatsMonth m = month(10);
        c.spoil(m);
        EXPECT_FALSE(m.potentialSavedSeconds()) << c.name;
    }
}

// A stored file can hold any 64-bit counts; the derived values must not overflow on them.
TEST(MonthlyStatsDerivedTest, ExtremeStoredCountsSaturateInsteadOfOverflowing) {
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    MonthlyStatsMonth m;
    m.punctuationCorrections = max;
    m.measuredPunctuationCorrections = max;
    m.caseCorrections = max;
    m.typingGapHistogram = {{100, max}, {200, max}};
    m.measuredTypingCharacters = min;
    m.measuredCorrectionActions = max;
    m.measuredBenefitTypingCharacters = max;
    m.measuredBenefitCorrectionActions = min;
    m.benefitFirstObservedDay = 1;
    m.benefitLastObservedDay = max;
    EXPECT_EQ(m.displayedPunctuationCorrections(), max);
    EXPECT_EQ(m.correctionsTotal(), max);
    EXPECT_EQ(m.typingSamples(), max);
    EXPECT_EQ(m.legacyTypingCharactersPerMinute(), 600);
    EXPECT_FALSE(m.timelineTypingCharactersPerMinute());
    EXPECT_EQ(m.comparableManualCharacters(), max);
    EXPECT_EQ(m.benefitObservationDays(), max);
    EXPECT_TRUE(m.hasLegacyCorrectionData());
}
