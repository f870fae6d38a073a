#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of usage statistics. The constructor
// binds the entries to the statistics library.
struct StatsSeam {
    static StatsSeam& shared() { return sharedService<StatsSeam>(); }
    StatsSeam();
    // Writes the statistics file at quit (creating the store if nothing used it yet).
    std::function<void()> monthlyStatsFlushNow = [] {};
};

}  // namespace murmelo
