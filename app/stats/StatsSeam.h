#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of usage statistics. Until that subsystem
// is built each entry does nothing or answers its empty value; its library fills them.
struct StatsSeam {
    static StatsSeam& shared() { return sharedService<StatsSeam>(); }
    std::function<void()> monthlyStatsFlushNow = [] {};
};

}  // namespace murmelo
