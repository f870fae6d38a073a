#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// Text read out of another application through the accessibility interface: the selection
// of its focused element, and a bounded walk over its front window's tree. Password fields
// and everything inside them are never read. Both reads block for as long as the other
// application takes, so callers run them off the main thread.
namespace AXTextHarvester {

struct Harvest {
    std::optional<QString> text;
    bool hitDeadline = false;
    int nodes = 0;
};

inline constexpr double timeBudget = 1.5;
// How long one call to the application may wait.
inline constexpr float messagingTimeout = 0.6f;
inline constexpr int maxDepth = 59;
inline constexpr int maxNodes = 6000;
inline constexpr int maxCharacters = 60000;

std::optional<QString> selectedText(qint64 pid);
// The deadline is read from the shared clock's uptime.
Harvest harvestWindow(qint64 pid, double budget);

}  // namespace AXTextHarvester
}  // namespace murmelo
