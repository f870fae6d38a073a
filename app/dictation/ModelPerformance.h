#pragma once
#include <QString>
#include <optional>
#include <utility>

namespace murmelo::ModelPerformance {

// Seconds of recognition for 10 s of audio, as a closed range.
using Range = std::pair<double, double>;

// The processor's brand name, read once.
QString hardwareName();
// Measured only on one processor; none elsewhere.
std::optional<Range> estimate(const QString& modelID, const QString& hardware = hardwareName());
// "0,7–2" in Russian: 0 to 1 fraction digits, an en dash without spaces.
QString formattedRange(const Range& range, const QString& locale);
// The speed line shown beside a model.
QString summary(const QString& modelID);

}  // namespace murmelo::ModelPerformance
