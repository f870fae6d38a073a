#include "layout/LayoutSeam.h"

#include "layout/InputRivals.h"
#include "layout/LayoutAppStats.h"
#include "layout/LayoutSwitcherTap.h"

namespace murmelo {

LayoutSeam::LayoutSeam() {
    layoutAppStatsFlush = [] { LayoutAppStats::shared().flush(); };
    layoutSwitcherStart = [] { startLayoutSwitcher(); };
    inputRivalsStart = [] { InputRivals::start(); };
}

}  // namespace murmelo
