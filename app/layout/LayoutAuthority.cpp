#include "layout/LayoutAuthority.h"

#include <algorithm>

namespace murmelo {

std::optional<quint64> AutomaticLayoutAuthority::request(double now, const std::optional<QString>& expectedSourceID) {
    if (leftCommandDown || now < suppressUntil) return std::nullopt;
    ++generation;
    pendingGeneration = generation;
    pendingExpectedSourceID = expectedSourceID;
    return generation;
}

bool AutomaticLayoutAuthority::consume(quint64 ticket, double now, const std::optional<QString>& currentSourceID) {
    if (!pendingGeneration || *pendingGeneration != ticket || leftCommandDown || now < suppressUntil) return false;
    const std::optional<QString> expected = pendingExpectedSourceID;
    pendingGeneration.reset();
    pendingExpectedSourceID.reset();
    if (!expected) return true;
    return currentSourceID && *currentSourceID == *expected;
}

void AutomaticLayoutAuthority::voidPending() {
    ++generation;
    pendingGeneration.reset();
    pendingExpectedSourceID.reset();
}

void AutomaticLayoutAuthority::noteLeftCommand(bool isDown, double now, double cooldown) {
    voidPending();
    leftCommandDown = isDown;
    suppressUntil = std::max(suppressUntil, isDown ? now : now + cooldown);
}

void AutomaticLayoutAuthority::noteUserShortcut(double now, double cooldown) {
    voidPending();
    suppressUntil = std::max(suppressUntil, now + cooldown);
}

void AutomaticLayoutAuthority::invalidatePending() { voidPending(); }

}  // namespace murmelo
