#pragma once
#include "platform/Service.h"

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the layout switcher and its models,
// as the program does it. Tests install a derived one that watches.
class LayoutSeam {
public:
    virtual ~LayoutSeam() = default;
    static LayoutSeam& shared() { return sharedService<LayoutSeam>(); }
    virtual void layoutAppStatsFlush();
    virtual void inputRivalsStart();
    virtual void layoutSwitcherStart();
};

}  // namespace murmelo
