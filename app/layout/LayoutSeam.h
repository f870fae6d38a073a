#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the layout switcher and its models. The layout library
// fills the entries it has built (LayoutSeam.cpp); the rest do nothing and say so.
struct LayoutSeam {
    LayoutSeam();
    static LayoutSeam& shared() { return sharedService<LayoutSeam>(); }
    std::function<void()> layoutAppStatsFlush = [] {};
    std::function<void()> inputRivalsStart = unbuilt("inputRivalsStart");
    std::function<void()> layoutSwitcherStart = unbuilt("layoutSwitcherStart");
};

}  // namespace murmelo
