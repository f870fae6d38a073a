#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the presence indicators and the quick panel. Each entry calls the real
// thing; tests install their own (ScopedService) to watch the order of the calls.
struct PresenceSeam {
    static PresenceSeam& shared() { return sharedService<PresenceSeam>(); }
    PresenceSeam();

    std::function<void()> ladderPresenceShow;
    // The stored presence style made real: the drop windows or the status item.
    std::function<void()> presenceStyleApply;
    // The bead images for every screen scale, rendered off the main thread.
    std::function<void()> beadDropPrewarm;
    std::function<void()> quickPanelHide = [] {};
};

// Hands the real ladder and drop to the state hub; called before the hub is first used.
void installPresence();

}  // namespace murmelo
