#pragma once
#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace murmelo {

// The texts of the statistics views: grouped whole numbers, seconds as whole hours and
// minutes, and three forms of a month. Pure functions of their argument and of the interface
// language at the moment of the call; nothing is cached.
namespace StatsFormat {

struct DurationParts {
    qint64 hours = 0;    // 0 or more, not capped
    qint64 minutes = 0;  // 0 to 59
    bool operator==(const DurationParts&) const = default;
};

// Grouped by the process's current locale (not the interface language).
QString number(qint64 value);
// Seconds rounded to whole minutes (halves away from zero), negatives as 0. A number of
// seconds that is not finite or whose minutes leave the 64-bit range gives nothing: a
// hand-edited statistics file or an overflowing sum must not reach an integer conversion.
std::optional<DurationParts> duration(double seconds);
// "январь 2025": stand-alone month name and year in the interface language.
QString month(const QDateTime& date);
// Stand-alone month name: "январь".
QString monthName(const QDateTime& date);
// Short month name in lower case without full stops: "янв".
QString monthShort(const QDateTime& date);
// Length of the longest run of consecutive distinct values. No screen uses it yet.
[[maybe_unused]] qint64 streak(std::vector<qint64> values);

}  // namespace StatsFormat

// Compact saved time: "Ещё измеряем" when absent (or not a usable number), else "N мин",
// "N ч" or "N ч M мин".
QString savedCompact(std::optional<double> seconds);

}  // namespace murmelo
