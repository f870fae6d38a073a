#include "layout/LayoutSeam.h"

#include "layout/InputRivals.h"
#include "layout/LayoutAppStats.h"
#include "layout/LayoutSwitcherTap.h"

namespace murmelo {

void LayoutSeam::layoutAppStatsFlush() { LayoutAppStats::shared().flush(); }
void LayoutSeam::layoutSwitcherStart() { startLayoutSwitcher(); }
void LayoutSeam::inputRivalsStart() { InputRivals::start(); }

}  // namespace murmelo
