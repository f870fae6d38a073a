#pragma once
#include "stats/MonthlySavedBenefitLedger.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace murmelo {

// Everything known about one calendar month of use, and the JSON form of that month in the
// statistics file. A plain value: `MonthlyStatsMonth{}` is the fresh month (every counter 0,
// empty histogram and day list, every optional field absent, no ledger); aggregate
// initialisation builds it member-wise in field order. Only the statistics store changes it.
//
// Optional fields are absent until their first increment. The burst timeline and the test
// timeline receive identical increments, as do the measured and the capped dictation fields;
// they differ only in which derived value reads them.
struct MonthlyStatsMonth {
    // Base counters, always present.
    qint64 dictations = 0;
    qint64 dictatedWords = 0;
    qint64 dictatedCharacters = 0;
    double dictationSeconds = 0.0;
    qint64 longestDictationCharacters = 0;
    // Older correction counters: kept and read, no longer incremented.
    qint64 punctuationCorrections = 0;
    qint64 caseCorrections = 0;
    qint64 typoCorrections = 0;
    qint64 avoidedManualCorrections = 0;
    qint64 layoutCorrections = 0;
    qint64 quickActions = 0;
    qint64 quickReplies = 0;
    double meetingSeconds = 0.0;
    // Pause between typed characters in milliseconds (multiples of 25) → how many.
    std::map<qint64, qint64> typingGapHistogram = {};
    // Days of the month with a counted dictation, ascending.
    std::vector<qint64> activeDays = {};

    // Burst timeline.
    std::optional<qint64> measuredTypingCharacters = {};
    std::optional<qint64> measuredEditingEvents = {};
    std::optional<qint64> measuredEditingBursts = {};
    std::optional<double> measuredEditingSeconds = {};
    std::optional<qint64> measuredCorrectionActions = {};
    // Test timeline.
    std::optional<qint64> measuredTestTypingCharacters = {};
    std::optional<qint64> measuredTestEditingEvents = {};
    std::optional<qint64> measuredTestEditingBursts = {};
    std::optional<double> measuredTestEditingSeconds = {};
    std::optional<qint64> measuredTestCorrectionActions = {};
    // Corrections found by the correction summary.
    std::optional<qint64> measuredPunctuationCorrections = {};
    std::optional<qint64> measuredCaseCorrections = {};
    std::optional<qint64> measuredTypoCorrections = {};
    // Dictations whose speech-work time was reported.
    std::optional<qint64> measuredDictatedCharacters = {};
    std::optional<double> measuredDictationAudioSeconds = {};
    std::optional<double> measuredSpeechWorkSeconds = {};
    std::optional<double> measuredProcessingSeconds = {};
    // Benefit sample: every pause capped at 5 s; a sample's first event is untimed.
    std::optional<qint64> measuredBenefitTypingCharacters = {};
    std::optional<qint64> measuredBenefitEditingEvents = {};
    std::optional<qint64> measuredBenefitUntimedStarts = {};
    std::optional<double> measuredBenefitEditingSeconds = {};
    std::optional<qint64> measuredBenefitCorrectionActions = {};
    // First and last day of the month with a benefit observation.
    std::optional<qint64> benefitFirstObservedDay = {};
    std::optional<qint64> benefitLastObservedDay = {};
    // The same increments as the measured dictation fields; only these feed derived values.
    std::optional<qint64> measuredCappedDictatedCharacters = {};
    std::optional<double> measuredCappedDictationAudioSeconds = {};
    std::optional<double> measuredCappedSpeechWorkSeconds = {};
    std::optional<double> measuredCappedProcessingSeconds = {};
    std::optional<MonthlySavedBenefitLedger> savedBenefitLedger = {};

    bool operator==(const MonthlyStatsMonth&) const = default;

    // JSON: the base members always, each optional member only when present (never null).
    // Fails (nothing, with the reason in `error`) only on a value JSON cannot hold.
    std::optional<QJsonObject> toJson(QString* error = nullptr) const;
    // The base members are required; an optional member may be missing or null. A mistyped
    // member, a map member name that is not a decimal integer or a malformed ledger makes the
    // month undecodable. Other members are ignored.
    static std::optional<MonthlyStatsMonth> fromJson(const QJsonValue& json, QString* error = nullptr);

    // The ledger the month gets when the store first changes it: the saving accumulated so far
    // becomes its migrated values, so months recorded before the ledger existed keep their
    // saving; dictation that cannot be valued yet (no typing speed) is parked as one pending
    // entry on the month's last observed day, else its last active day, else `currentDay`.
    // False, and nothing changes, when the month already has a ledger.
    bool initializeSavedBenefitLedger(qint64 currentDay);

    // Derived values: pure functions of the record.
    qint64 typingSamples() const;
    std::optional<qint64> legacyTypingCharactersPerMinute() const;
    std::optional<qint64> timelineTypingCharactersPerMinute() const;
    std::optional<qint64> effectiveTypingCharactersPerMinute() const;
    std::optional<qint64> benefitTypingCharactersPerMinute() const;
    std::optional<qint64> typingCharactersPerMinute() const;
    std::optional<qint64> benefitComparisonTypingCharactersPerMinute() const;

    std::optional<double> legacySavedSeconds() const;
    // Dictation saving recomputed from the counters; the ledger's voice total replaces it
    // once a ledger exists. Internal to statistics.
    std::optional<double> recomputedVoiceSavedSeconds() const;
    std::optional<double> voiceSavedSeconds() const;
    std::optional<qint64> voiceCharactersPerMinute() const;
    std::optional<double> benefitVoiceSecondsPerCharacter() const;
    std::optional<double> voiceToTypingMultiplier() const;

    qint64 correctionsTotal() const;
    qint64 precisePunctuationCorrections() const;
    qint64 preciseCaseCorrections() const;
    qint64 preciseTypoCorrections() const;
    qint64 preciseCorrectionsTotal() const;
    qint64 displayedPunctuationCorrections() const;
    qint64 displayedCaseCorrections() const;
    qint64 displayedTypoCorrections() const;
    bool hasLegacyCorrectionData() const;
    double correctionSavedSeconds() const;
    double layoutSavedSeconds() const;
    std::optional<double> savedSeconds() const;

    qint64 comparableManualCharacters() const;
    qint64 comparableVoiceCharacters() const;
    std::optional<double> voiceInputShare() const;
    std::optional<qint64> benefitObservationDays() const;
    // Further saving in a 30-day month had a quarter of the typed characters been dictated.
    std::optional<double> potentialSavedSeconds() const;

private:
    // The voice time the counters give for the month's dictation: audio not covered by the
    // capped dictation measure, plus capped speech work and processing.
    struct VoiceTime {
        double uncoveredAudio = 0.0;
        double speechWork = 0.0;
        double processing = 0.0;
    };
    VoiceTime recomputedVoiceTime() const;
};

}  // namespace murmelo
