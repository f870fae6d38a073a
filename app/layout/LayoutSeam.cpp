#include "layout/LayoutSeam.h"

#include "layout/LayoutAppStats.h"
#include "layout/LayoutSwitcherTap.h"

namespace murmelo {

LayoutSeam::LayoutSeam() {
    layoutAppStatsFlush = [] { LayoutAppStats::shared().flush(); };
    layoutSwitcherStart = [] { startLayoutSwitcher(); };
}

}  // namespace murmelo
