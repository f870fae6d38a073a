#pragma once
#include <QString>
#include <functional>
#include <map>
#include <optional>

namespace murmelo {

// The two idle-sleep holds the keep-awake service takes while the program runs.
enum class PowerAssertionType {
    PreventUserIdleSystemSleep,   // the machine does not sleep from inactivity
    PreventUserIdleDisplaySleep,  // the display does not sleep from inactivity
};

// The first power source that reports its charge.
struct PowerSourceState {
    int percent = 0;     // whole percent, rounded half away from zero
    bool isOnAC = false;
    bool operator==(const PowerSourceState&) const = default;
};

// Power management as the keep-awake service needs it: idle-sleep holds that end with the
// process, the system-wide sleep lock (sleep off also with the lid closed), the battery,
// the lid, and the news that the machine is going to sleep or has woken.
class Power {
public:
    virtual ~Power() = default;

    // Takes a hold; 0 and a non-zero id on success, otherwise a non-zero result code.
    virtual int createAssertion(PowerAssertionType type, const QString& name, quint32& id) = 0;
    virtual void releaseAssertion(quint32 id) = 0;

    // Switches system sleep off (every cause, the lid included) or back on. Only the lock
    // this process holds is touched; false when it could not be taken.
    virtual bool setSleepLock(bool on) = 0;
    // Whether system sleep is switched off now by anyone; none when it cannot be told.
    virtual std::optional<bool> sleepDisabled() = 0;

    // The lid: none on a machine without one.
    virtual std::optional<bool> lidClosed() = 0;
    // Whether closing the lid puts the machine to sleep; none when there is no lid.
    virtual std::optional<bool> lidCausesSleep() = 0;

    // None when the machine has no battery.
    virtual std::optional<PowerSourceState> powerSource() = 0;

    // Called on the main thread just before the system sleeps and after it woke. An empty
    // function stops the calls.
    virtual void setSleepHandlers(std::function<void()> willSleep, std::function<void()> didWake) = 0;

    // Further observers of the same news beside the handlers above (which keep-awake holds);
    // each gets its own id. Called on the main thread.
    int addWakeObserver(std::function<void()> didWake);
    void removeWakeObserver(int id);

    static Power& shared();
    static void install(Power* power);

protected:
    // Backends call this after the system woke, besides the handler above.
    void notifyWakeObservers();
    bool hasWakeObservers() const { return !wakeObservers_.empty(); }
    // A backend that must subscribe to the news before it can deliver it does so here.
    virtual void wakeObserversChanged() {}

private:
    std::map<int, std::function<void()>> wakeObservers_;
    int nextWakeId_ = 1;
};

}  // namespace murmelo
