// The derived values of a month record: typing and voice speeds, saved time, shares and the
// forecast. Pure functions of the record: no clock, no settings, no other month.
#include "stats/MonthlyBenefitFormula.h"
#include "stats/MonthlyStatsMonth.h"
#include "base/Saturating.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace murmelo {

namespace {

// Counters come from a file the user can edit; sums and differences saturate instead of
// overflowing.
qint64 add(qint64 a, qint64 b) { return saturatingAdd(a, b); }
qint64 sub(qint64 a, qint64 b) { return saturatingSub(a, b); }

// The integer nearest to x, halves away from zero; out-of-range values saturate.
qint64 nearest(double x) { return saturatingWhole(std::round(x)); }

qint64 orZero(const std::optional<qint64>& v) { return v.value_or(0); }

// Charged seconds for the untimed first event of a burst or sample: one character at the
// median-pause speed. A speed below 1 (a pause key above two minutes) has no meaningful charge.
std::optional<double> secondsPerCharacter(const std::optional<qint64>& legacy) {
    if (!legacy || *legacy < 1) return std::nullopt;
    return 60.0 / double(*legacy);
}

// The effective and benefit speeds share one shape: net characters over the timed seconds plus
// a charge for each untimed event.
std::optional<qint64> chargedSpeed(const std::optional<qint64>& legacy, qint64 characters, qint64 corrections,
                                   qint64 events, qint64 untimed, const std::optional<double>& seconds) {
    const std::optional<double> charge = secondsPerCharacter(legacy);
    if (!charge) return std::nullopt;
    const qint64 c = characters;
    const qint64 net = sub(c, std::min(corrections, c));
    const qint64 u = std::min(untimed, events);
    const qint64 timed = sub(events, u);
    if (!seconds || c < 100 || net < 50 || events < c || timed < 50 || !(*seconds > 0)) return std::nullopt;
    const double time = *charge * double(u) + *seconds;
    if (!(time > 0)) return std::nullopt;
    return nearest(double(net) / time * 60.0);
}

double nonNegative(const std::optional<double>& v) { return v && *v > 0 ? *v : 0.0; }

}  // namespace

qint64 MonthlyStatsMonth::typingSamples() const {
    qint64 n = 0;
    for (const auto& [pause, count] : typingGapHistogram) n = add(n, count);
    return n;
}

std::optional<qint64> MonthlyStatsMonth::legacyTypingCharactersPerMinute() const {
    const qint64 n = typingSamples();
    if (n < 50) return std::nullopt;
    const qint64 target = (n - 1) / 2;
    // The map is ordered by pause already.
    qint64 running = 0;
    for (const auto& [pause, count] : typingGapHistogram) {
        running = add(running, count);
        // A pause of 0 ms or less cannot give a speed; the next real pause stands in for it.
        if (running > target && pause >= 1) return nearest(60000.0 / double(pause));
    }
    return std::nullopt;
}

std::optional<qint64> MonthlyStatsMonth::timelineTypingCharactersPerMinute() const {
    const qint64 characters = orZero(measuredTypingCharacters);
    const qint64 events = orZero(measuredEditingEvents);
    // Not limited: more corrections than characters means no speed.
    const qint64 net = sub(characters, orZero(measuredCorrectionActions));
    const qint64 bursts = std::min(orZero(measuredEditingBursts), events);
    const qint64 timed = sub(events, bursts);
    if (!measuredEditingSeconds || characters < 100 || net < 50 || timed < 50) return std::nullopt;
    const double s = *measuredEditingSeconds;
    if (!(s > 0)) return std::nullopt;
    // The first event of every burst is charged the mean timed pause.
    const double time = s + (s / double(timed)) * double(bursts);
    if (!(time > 0)) return std::nullopt;
    return nearest(double(std::max<qint64>(net, 0)) / time * 60.0);
}

std::optional<qint64> MonthlyStatsMonth::effectiveTypingCharactersPerMinute() const {
    return chargedSpeed(legacyTypingCharactersPerMinute(), orZero(measuredTestTypingCharacters),
                        orZero(measuredTestCorrectionActions), orZero(measuredTestEditingEvents),
                        orZero(measuredTestEditingBursts), measuredTestEditingSeconds);
}

std::optional<qint64> MonthlyStatsMonth::benefitTypingCharactersPerMinute() const {
    return chargedSpeed(legacyTypingCharactersPerMinute(), orZero(measuredBenefitTypingCharacters),
                        orZero(measuredBenefitCorrectionActions), orZero(measuredBenefitEditingEvents),
                        orZero(measuredBenefitUntimedStarts), measuredBenefitEditingSeconds);
}

std::optional<qint64> MonthlyStatsMonth::typingCharactersPerMinute() const {
    if (auto effective = effectiveTypingCharactersPerMinute()) return effective;
    return legacyTypingCharactersPerMinute();
}

std::optional<qint64> MonthlyStatsMonth::benefitComparisonTypingCharactersPerMinute() const {
    if (auto benefit = benefitTypingCharactersPerMinute()) return benefit;
    return typingCharactersPerMinute();
}

std::optional<double> MonthlyStatsMonth::legacySavedSeconds() const {
    const std::optional<qint64> legacy = legacyTypingCharactersPerMinute();
    if (!legacy || *legacy < 1) return std::nullopt;
    return std::max(double(dictatedCharacters) / double(*legacy) * 60.0 - dictationSeconds, 0.0);
}

std::optional<double> MonthlyStatsMonth::recomputedVoiceSavedSeconds() const {
    if (dictatedCharacters == 0) return 0.0;
    const std::optional<qint64> speed = benefitComparisonTypingCharactersPerMinute();
    if (!speed || *speed < 1) return std::nullopt;
    const VoiceTime t = recomputedVoiceTime();
    const double typing = double(dictatedCharacters) / double(*speed) * 60.0;
    return std::max(typing - t.uncoveredAudio - (t.speechWork + t.processing), 0.0);
}

std::optional<double> MonthlyStatsMonth::voiceSavedSeconds() const {
    if (savedBenefitLedger) return savedBenefitLedger->voiceSeconds();
    return recomputedVoiceSavedSeconds();
}

std::optional<qint64> MonthlyStatsMonth::voiceCharactersPerMinute() const {
    const qint64 characters = orZero(measuredCappedDictatedCharacters);
    if (!measuredCappedSpeechWorkSeconds || characters < 1 || !(*measuredCappedSpeechWorkSeconds > 0)) {
        return std::nullopt;
    }
    return nearest(double(characters) / *measuredCappedSpeechWorkSeconds * 60.0);
}

std::optional<double> MonthlyStatsMonth::benefitVoiceSecondsPerCharacter() const {
    const qint64 characters = orZero(measuredCappedDictatedCharacters);
    const double voice = nonNegative(measuredCappedSpeechWorkSeconds) + nonNegative(measuredCappedProcessingSeconds);
    if (characters < 1 || !(voice > 0)) return std::nullopt;
    return voice / double(characters);
}

std::optional<double> MonthlyStatsMonth::voiceToTypingMultiplier() const {
    const std::optional<qint64> voice = voiceCharactersPerMinute();
    if (!voice) return std::nullopt;
    const std::optional<qint64> typing = typingCharactersPerMinute();
    if (!typing || *typing < 1) return std::nullopt;
    return double(*voice) / double(*typing);
}

qint64 MonthlyStatsMonth::precisePunctuationCorrections() const { return orZero(measuredPunctuationCorrections); }
qint64 MonthlyStatsMonth::preciseCaseCorrections() const { return orZero(measuredCaseCorrections); }
qint64 MonthlyStatsMonth::preciseTypoCorrections() const { return orZero(measuredTypoCorrections); }

qint64 MonthlyStatsMonth::preciseCorrectionsTotal() const {
    return add(add(precisePunctuationCorrections(), preciseCaseCorrections()), preciseTypoCorrections());
}

qint64 MonthlyStatsMonth::displayedPunctuationCorrections() const {
    return add(punctuationCorrections, precisePunctuationCorrections());
}

qint64 MonthlyStatsMonth::displayedCaseCorrections() const { return add(caseCorrections, preciseCaseCorrections()); }
qint64 MonthlyStatsMonth::displayedTypoCorrections() const { return add(typoCorrections, preciseTypoCorrections()); }

qint64 MonthlyStatsMonth::correctionsTotal() const {
    return add(add(displayedPunctuationCorrections(), displayedCaseCorrections()), displayedTypoCorrections());
}

bool MonthlyStatsMonth::hasLegacyCorrectionData() const {
    return add(add(add(punctuationCorrections, caseCorrections), typoCorrections), avoidedManualCorrections) > 0;
}

double MonthlyStatsMonth::correctionSavedSeconds() const {
    if (savedBenefitLedger) return savedBenefitLedger->correctionSeconds();
    return double(correctionsTotal()) * MonthlyBenefitFormula::correctionSeconds;
}

double MonthlyStatsMonth::layoutSavedSeconds() const {
    if (savedBenefitLedger) return savedBenefitLedger->layoutSeconds();
    return double(layoutCorrections) * MonthlyBenefitFormula::layoutSeconds;
}

std::optional<double> MonthlyStatsMonth::savedSeconds() const {
    if (savedBenefitLedger) {
        const MonthlySavedBenefitLedger& l = *savedBenefitLedger;
        return l.voiceSeconds() + (l.correctionSeconds() + l.layoutSeconds());
    }
    const double base = double(correctionsTotal()) * MonthlyBenefitFormula::correctionSeconds
                        + double(layoutCorrections) * MonthlyBenefitFormula::layoutSeconds;
    if (const std::optional<double> voice = recomputedVoiceSavedSeconds()) return *voice + base;
    if (base > 0) return base;
    return std::nullopt;
}

qint64 MonthlyStatsMonth::comparableManualCharacters() const {
    const qint64 c = orZero(measuredBenefitTypingCharacters);
    const qint64 k = orZero(measuredBenefitCorrectionActions);
    return std::max<qint64>(sub(c, std::min(k, c)), 0);
}

qint64 MonthlyStatsMonth::comparableVoiceCharacters() const {
    return std::max<qint64>(orZero(measuredCappedDictatedCharacters), 0);
}

std::optional<double> MonthlyStatsMonth::voiceInputShare() const {
    const qint64 voice = comparableVoiceCharacters();
    const qint64 manual = comparableManualCharacters();
    const double all = double(voice) + double(manual);
    if (all < 1) return std::nullopt;
    return double(voice) / all;
}

std::optional<qint64> MonthlyStatsMonth::benefitObservationDays() const {
    std::optional<qint64> first = benefitFirstObservedDay;
    std::optional<qint64> last = benefitLastObservedDay;
    if (!activeDays.empty()) {
        const auto [lo, hi] = std::minmax_element(activeDays.begin(), activeDays.end());
        if (!first) first = *lo;
        if (!last) last = *hi;
    }
    if (!first || !last || *first < 1 || *last < *first) return std::nullopt;
    return add(sub(*last, *first), 1);
}

std::optional<double> MonthlyStatsMonth::potentialSavedSeconds() const {
    const std::optional<qint64> days = benefitObservationDays();
    if (!days) return std::nullopt;
    const qint64 c = orZero(measuredBenefitTypingCharacters);
    const qint64 manual = sub(c, std::min(orZero(measuredBenefitCorrectionActions), c));
    if (manual < 1) return std::nullopt;
    const std::optional<qint64> speed = benefitComparisonTypingCharactersPerMinute();
    if (!speed || *speed < 1) return std::nullopt;
    const std::optional<double> voicePerCharacter = benefitVoiceSecondsPerCharacter();
    if (!voicePerCharacter) return std::nullopt;
    const double savedPerCharacter = std::max(60.0 / double(*speed) - *voicePerCharacter, 0.0);
    return (MonthlyBenefitFormula::potentialManualShare * double(manual)) * savedPerCharacter / double(*days)
           * MonthlyBenefitFormula::forecastMonthDays;
}

}  // namespace murmelo
