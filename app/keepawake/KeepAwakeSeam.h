#pragma once
#include "platform/Service.h"

#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the keep-awake service. Each entry
// calls the real thing; tests install their own to watch the order of the calls.
struct KeepAwakeSeam {
    static KeepAwakeSeam& shared() { return sharedService<KeepAwakeSeam>(); }
    KeepAwakeSeam();

    std::function<bool()> checkAtLaunch;
    std::function<void()> keepAfterOrphan;
    std::function<void()> releaseAfterOrphan;
    std::function<bool()> isArmed;
    std::function<bool()> usesSystemDaemon;
    std::function<QString()> report;
    std::function<bool()> isInstalled;
    // Completes on the main queue with an error text or none.
    std::function<void(std::function<void(std::optional<QString> error)>)> uninstall;
};

}  // namespace murmelo
