#pragma once
#include "stats/MonthlyStatsMonth.h"

#include <QDateTime>
#include <utility>
#include <vector>

namespace murmelo {

// What readers receive for one month: its record, the months offered for navigation with
// their records, and whether an earlier or a later tracked month exists. Set once when made.
struct MonthlyStatsSnapshot {
    QDateTime month;
    MonthlyStatsMonth record;
    std::vector<std::pair<QDateTime, MonthlyStatsMonth>> trackedMonths;
    bool canGoBack = false;
    bool canGoForward = false;

    bool operator==(const MonthlyStatsSnapshot&) const = default;
};

}  // namespace murmelo
