#pragma once
#include <QDateTime>
#include <optional>

namespace murmelo {

// The statistics page's month after pressing an arrow `months` times (−1 back, 1 forward),
// in local time; a day the target month lacks becomes its last day. The result stays between
// the first tracked month and the month of `now`: the arrows disable only after a redraw,
// so quick clicks could otherwise step past either end. Nothing when the shown month would
// not change (already at that end) or the date is invalid.
std::optional<QDateTime> steppedStatsMonth(const QDateTime& shown, int months, const QDateTime& firstTracked,
                                           const QDateTime& now);

}  // namespace murmelo
