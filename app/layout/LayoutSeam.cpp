#include "layout/LayoutSeam.h"

#include "layout/LayoutAppStats.h"
#include "layout/LayoutSwitcherHost.h"

namespace murmelo {

LayoutSeam::LayoutSeam() {
    layoutAppStatsFlush = [] { LayoutAppStats::shared().flush(); };
    // Of the switcher's start only the application-activation observer exists so far; the
    // key handling says in the log that it is missing.
    layoutSwitcherStart = [keys = unbuilt("layoutSwitcherStart (key handling)")] {
        LayoutSwitcherHost::shared().observeAppActivations();
        keys();
    };
}

}  // namespace murmelo
