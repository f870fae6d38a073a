#pragma once
#include "platform/Power.h"

#include <map>

namespace murmelo::sim {

// A laptop run by the test: battery, lid, the holds this process took, sleep switched off
// by this process or by someone else, and sleep and wake delivered on demand.
class SimPower : public Power {
public:
    struct Held {
        PowerAssertionType type;
        QString name;
    };

    // What the machine reports.
    std::optional<PowerSourceState> battery;          // none: a desktop without battery
    std::optional<bool> lid;                          // none: no lid
    std::optional<bool> lidSleeps = true;             // meaningful only with a lid
    bool foreignSleepLock = false;                    // another program switched sleep off
    bool sleepLockAccepted = true;                    // false: the lock request is ignored
    bool sleepStateUnknown = false;                   // sleepDisabled() cannot tell

    // Failure injection: the next creation of that type returns this code (then resets).
    std::optional<int> failNextSystem;
    std::optional<int> failNextDisplay;

    void setBattery(int percent, bool onAC) { battery = PowerSourceState{percent, onAC}; }

    // What the program holds.
    const std::map<quint32, Held>& held() const { return held_; }
    int heldCount(PowerAssertionType type) const;
    bool holdsSleepLock() const { return sleepLock_; }
    int sleepLockChanges() const { return sleepLockChanges_; }

    // Delivers the system's news as the desktop would.
    void willSleep();
    void didWake();
    bool observesSleep() const { return bool(willSleep_) || bool(didWake_); }

    // Power
    int createAssertion(PowerAssertionType type, const QString& name, quint32& id) override;
    void releaseAssertion(quint32 id) override;
    bool setSleepLock(bool on) override;
    std::optional<bool> sleepDisabled() override;
    std::optional<bool> lidClosed() override { return lid; }
    std::optional<bool> lidCausesSleep() override;
    std::optional<PowerSourceState> powerSource() override { return battery; }
    void setSleepHandlers(std::function<void()> willSleep, std::function<void()> didWake) override;

private:
    std::map<quint32, Held> held_;
    quint32 nextId_ = 7001;
    bool sleepLock_ = false;
    int sleepLockChanges_ = 0;
    std::function<void()> willSleep_;
    std::function<void()> didWake_;
};

}  // namespace murmelo::sim
