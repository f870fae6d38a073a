#include "stats/StatsSeam.h"

#include "stats/MonthlyStats.h"
#include "stats/MonthlyStatsStore.h"

namespace murmelo {

StatsSeam::StatsSeam() {
    monthlyStatsFlushNow = [] { MonthlyStats::store().flushNow(); };
}

}  // namespace murmelo
