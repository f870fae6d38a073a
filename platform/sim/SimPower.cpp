#include "sim/SimPower.h"

namespace murmelo::sim {

int SimPower::heldCount(PowerAssertionType type) const {
    int n = 0;
    for (const auto& [id, h] : held_)
        if (h.type == type) ++n;
    return n;
}

int SimPower::createAssertion(PowerAssertionType type, const QString& name, quint32& id) {
    auto& fail = type == PowerAssertionType::PreventUserIdleSystemSleep ? failNextSystem : failNextDisplay;
    if (fail) {
        const int code = *fail;
        fail.reset();
        id = 0;
        return code;
    }
    id = nextId_++;
    held_[id] = Held{type, name};
    return 0;
}

void SimPower::releaseAssertion(quint32 id) { held_.erase(id); }

bool SimPower::setSleepLock(bool on) {
    if (on && !sleepLockAccepted) return false;
    if (sleepLock_ != on) ++sleepLockChanges_;
    sleepLock_ = on;
    return true;
}

std::optional<bool> SimPower::sleepDisabled() {
    if (sleepStateUnknown) return std::nullopt;
    return sleepLock_ || foreignSleepLock;
}

std::optional<bool> SimPower::lidCausesSleep() {
    if (!lid) return std::nullopt;
    return lidSleeps;
}

void SimPower::setSleepHandlers(std::function<void()> willSleep, std::function<void()> didWake) {
    willSleep_ = std::move(willSleep);
    didWake_ = std::move(didWake);
}

void SimPower::willSleep() {
    if (willSleep_) willSleep_();
}

void SimPower::didWake() {
    if (didWake_) didWake_();
    notifyWakeObservers();
}

}  // namespace murmelo::sim
