#pragma once

// The constants of the saved-time estimate: dictation is credited with the time typing the
// same characters would have taken less the time the voice path took; each correction of
// typed text and each automatic layout correction with a fixed number of seconds.
namespace murmelo::MonthlyBenefitFormula {

// Longest pause that still counts as working time, when typing or speech is timed.
inline constexpr double pauseCapSeconds = 5.0;
// Credited for each punctuation, letter-case or typo correction.
inline constexpr double correctionSeconds = 3.0;
// Credited for each automatic keyboard-layout correction.
inline constexpr double layoutSeconds = 3.0;
// Share of the manually typed characters the forecast assumes dictated.
inline constexpr double potentialManualShare = 0.25;
// Length in days of the month the forecast is scaled to.
inline constexpr double forecastMonthDays = 30.0;

// A pause limited to 0 … pauseCapSeconds; negative and not-a-number pauses count as 0.
double cappedPause(double seconds);

}  // namespace murmelo::MonthlyBenefitFormula
