#include "stats/MonthlyStatsMonth.h"

#include "stats/MonthlyBenefitFormula.h"
#include "stats/StatsJson.h"

#include <QJsonArray>
#include <algorithm>

namespace murmelo {

// The JSON key of every field is the field's own name; spelling it once keeps the two from
// drifting apart.
#define MURMELO_KEY(field) QStringLiteral(#field)

std::optional<QJsonObject> MonthlyStatsMonth::toJson(QString* error) const {
    StatsJson::Writer w;
#define WRITE(kind, field) w.kind(MURMELO_KEY(field), field)
    WRITE(integer, dictations);
    WRITE(integer, dictatedWords);
    WRITE(integer, dictatedCharacters);
    WRITE(seconds, dictationSeconds);
    WRITE(integer, longestDictationCharacters);
    WRITE(integer, punctuationCorrections);
    WRITE(integer, caseCorrections);
    WRITE(integer, typoCorrections);
    WRITE(integer, avoidedManualCorrections);
    WRITE(integer, layoutCorrections);
    WRITE(integer, quickActions);
    WRITE(integer, quickReplies);
    WRITE(seconds, meetingSeconds);
    WRITE(integerMap, typingGapHistogram);
    QJsonArray days;
    for (qint64 day : activeDays) days.append(QJsonValue(day));
    w.value(MURMELO_KEY(activeDays), days);

    WRITE(optionalInteger, measuredTypingCharacters);
    WRITE(optionalInteger, measuredEditingEvents);
    WRITE(optionalInteger, measuredEditingBursts);
    WRITE(optionalSeconds, measuredEditingSeconds);
    WRITE(optionalInteger, measuredCorrectionActions);
    WRITE(optionalInteger, measuredTestTypingCharacters);
    WRITE(optionalInteger, measuredTestEditingEvents);
    WRITE(optionalInteger, measuredTestEditingBursts);
    WRITE(optionalSeconds, measuredTestEditingSeconds);
    WRITE(optionalInteger, measuredTestCorrectionActions);
    WRITE(optionalInteger, measuredPunctuationCorrections);
    WRITE(optionalInteger, measuredCaseCorrections);
    WRITE(optionalInteger, measuredTypoCorrections);
    WRITE(optionalInteger, measuredDictatedCharacters);
    WRITE(optionalSeconds, measuredDictationAudioSeconds);
    WRITE(optionalSeconds, measuredSpeechWorkSeconds);
    WRITE(optionalSeconds, measuredProcessingSeconds);
    WRITE(optionalInteger, measuredBenefitTypingCharacters);
    WRITE(optionalInteger, measuredBenefitEditingEvents);
    WRITE(optionalInteger, measuredBenefitUntimedStarts);
    WRITE(optionalSeconds, measuredBenefitEditingSeconds);
    WRITE(optionalInteger, measuredBenefitCorrectionActions);
    WRITE(optionalInteger, benefitFirstObservedDay);
    WRITE(optionalInteger, benefitLastObservedDay);
    WRITE(optionalInteger, measuredCappedDictatedCharacters);
    WRITE(optionalSeconds, measuredCappedDictationAudioSeconds);
    WRITE(optionalSeconds, measuredCappedSpeechWorkSeconds);
    WRITE(optionalSeconds, measuredCappedProcessingSeconds);
#undef WRITE
    if (savedBenefitLedger) {
        QString why;
        const std::optional<QJsonObject> ledger = savedBenefitLedger->toJson(&why);
        w.nested(MURMELO_KEY(savedBenefitLedger), ledger, why);
    }
    return w.finish(error);
}

std::optional<MonthlyStatsMonth> MonthlyStatsMonth::fromJson(const QJsonValue& json, QString* error) {
    if (!json.isObject()) {
        if (error) *error = QStringLiteral("expected an object");
        return std::nullopt;
    }
    const QJsonObject o = json.toObject();
    MonthlyStatsMonth m;
#define READ(kind, field)                                                  \
    if (!StatsJson::read##kind(o, MURMELO_KEY(field), m.field, error)) { \
        return std::nullopt;                                               \
    }
    READ(Integer, dictations);
    READ(Integer, dictatedWords);
    READ(Integer, dictatedCharacters);
    READ(Seconds, dictationSeconds);
    READ(Integer, longestDictationCharacters);
    READ(Integer, punctuationCorrections);
    READ(Integer, caseCorrections);
    READ(Integer, typoCorrections);
    READ(Integer, avoidedManualCorrections);
    READ(Integer, layoutCorrections);
    READ(Integer, quickActions);
    READ(Integer, quickReplies);
    READ(Seconds, meetingSeconds);
    if (!StatsJson::readIntegerKeyedMap(o, MURMELO_KEY(typingGapHistogram), m.typingGapHistogram, error,
                                        [](const QJsonValue& v) { return StatsJson::integer(v); })) {
        return std::nullopt;
    }
    const QJsonValue days = o.value(MURMELO_KEY(activeDays));
    if (!days.isArray()) {
        if (error) *error = QStringLiteral("activeDays: expected an array");
        return std::nullopt;
    }
    for (const QJsonValue& day : days.toArray()) {
        const std::optional<qint64> d = StatsJson::integer(day);
        if (!d) {
            if (error) *error = QStringLiteral("activeDays: expected integers");
            return std::nullopt;
        }
        m.activeDays.push_back(*d);
    }

    READ(OptionalInteger, measuredTypingCharacters);
    READ(OptionalInteger, measuredEditingEvents);
    READ(OptionalInteger, measuredEditingBursts);
    READ(OptionalSeconds, measuredEditingSeconds);
    READ(OptionalInteger, measuredCorrectionActions);
    READ(OptionalInteger, measuredTestTypingCharacters);
    READ(OptionalInteger, measuredTestEditingEvents);
    READ(OptionalInteger, measuredTestEditingBursts);
    READ(OptionalSeconds, measuredTestEditingSeconds);
    READ(OptionalInteger, measuredTestCorrectionActions);
    READ(OptionalInteger, measuredPunctuationCorrections);
    READ(OptionalInteger, measuredCaseCorrections);
    READ(OptionalInteger, measuredTypoCorrections);
    READ(OptionalInteger, measuredDictatedCharacters);
    READ(OptionalSeconds, measuredDictationAudioSeconds);
    READ(OptionalSeconds, measuredSpeechWorkSeconds);
    READ(OptionalSeconds, measuredProcessingSeconds);
    READ(OptionalInteger, measuredBenefitTypingCharacters);
    READ(OptionalInteger, measuredBenefitEditingEvents);
    READ(OptionalInteger, measuredBenefitUntimedStarts);
    READ(OptionalSeconds, measuredBenefitEditingSeconds);
    READ(OptionalInteger, measuredBenefitCorrectionActions);
    READ(OptionalInteger, benefitFirstObservedDay);
    READ(OptionalInteger, benefitLastObservedDay);
    READ(OptionalInteger, measuredCappedDictatedCharacters);
    READ(OptionalSeconds, measuredCappedDictationAudioSeconds);
    READ(OptionalSeconds, measuredCappedSpeechWorkSeconds);
    READ(OptionalSeconds, measuredCappedProcessingSeconds);
#undef READ
    const QJsonValue ledger = o.value(MURMELO_KEY(savedBenefitLedger));
    if (!ledger.isUndefined() && !ledger.isNull()) {
        QString why;
        m.savedBenefitLedger = MonthlySavedBenefitLedger::fromJson(ledger, &why);
        if (!m.savedBenefitLedger) {
            if (error) *error = QStringLiteral("savedBenefitLedger.%1").arg(why);
            return std::nullopt;
        }
    }
    return m;
}

#undef MURMELO_KEY

MonthlyStatsMonth::VoiceTime MonthlyStatsMonth::recomputedVoiceTime() const {
    VoiceTime t;
    // Dictations with a reported speech-work time are charged that time plus processing; the
    // rest of the audio, which the capped measure does not cover, is charged in full.
    if (measuredCappedDictationAudioSeconds) {
        const double covered = std::min(*measuredCappedDictationAudioSeconds, dictationSeconds);
        t.uncoveredAudio = std::max(dictationSeconds - covered, 0.0);
    } else {
        t.uncoveredAudio = dictationSeconds > 0 ? dictationSeconds : 0.0;
    }
    const auto nonNegative = [](const std::optional<double>& v) { return v && *v > 0 ? *v : 0.0; };
    t.speechWork = nonNegative(measuredCappedSpeechWorkSeconds);
    t.processing = nonNegative(measuredCappedProcessingSeconds);
    return t;
}

bool MonthlyStatsMonth::initializeSavedBenefitLedger(qint64 currentDay) {
    if (savedBenefitLedger) return false;
    qint64 day = currentDay;
    if (benefitLastObservedDay) {
        day = *benefitLastObservedDay;
    } else if (!activeDays.empty()) {
        day = *std::max_element(activeDays.begin(), activeDays.end());
    }
    MonthlySavedBenefitLedger ledger;
    const std::optional<double> voice = recomputedVoiceSavedSeconds();
    ledger.migratedVoiceSeconds = voice.value_or(0.0);
    ledger.migratedCorrectionSeconds = double(correctionsTotal()) * MonthlyBenefitFormula::correctionSeconds;
    ledger.migratedLayoutSeconds = double(layoutCorrections) * MonthlyBenefitFormula::layoutSeconds;
    if (dictatedCharacters >= 1 && !voice) {
        // The same voice time the recomputed saving charges, from the capped dictation fields,
        // so that settling this entry later gives what the migrated value would have been had
        // a typing speed been known now.
        const VoiceTime t = recomputedVoiceTime();
        ledger.pendingVoiceByDay[day] = {dictatedCharacters, t.uncoveredAudio + t.speechWork + t.processing};
    }
    savedBenefitLedger = std::move(ledger);
    return true;
}

}  // namespace murmelo
