#pragma once
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace murmelo {

// The battery as the keep-awake service judges it.
struct LocalPowerState {
    int percent = 0;
    bool isOnAC = false;
    bool operator==(const LocalPowerState&) const = default;
};

// Keeps the machine awake for a chosen time, also with the lid closed, and hands it back
// to normal sleep at a deadline or at a battery floor. Process-wide state, main thread.
//
// Local mode holds idle-sleep assertions in this process. Daemon mode asks a guard for the
// system-wide sleep lock through three files in the state folder; on Linux the guard runs
// inside the program on logind inhibitor locks, so nothing needs administrator rights and
// nothing outlives the process.
namespace StayAwake {

struct ArmResult {
    enum class Kind { armed, failed, declined };
    Kind kind = Kind::failed;
    double until = 0;   // armed: the deadline in seconds since 1970, 0 = none
    QString message;    // failed: for the user

    static ArmResult armed(double until) { return {Kind::armed, until, {}}; }
    static ArmResult failed(const QString& message) { return {Kind::failed, 0, message}; }
    static ArmResult declined() { return {Kind::declined, 0, {}}; }
};

enum class Status { unsupported, noLid, armed, orphan, enabledButOff, foreign, needsSetup, off };

// Settings; each setter writes its key at once.
bool isEnabled();
void setEnabled(bool on);
int hours();
void setHours(int hours);
int batteryFloor();
void setBatteryFloor(int percent);
double armedUntil();
void setArmedUntil(double secondsSince1970);
bool usesSystemDaemon();

inline constexpr std::array<int, 4> hoursChoices{1, 4, 8, 0};
inline constexpr std::array<int, 3> floorChoices{10, 20, 30};
inline constexpr bool isSupported = true;

inline constexpr double LIMIT_CHECK_SECONDS = 30.0;
inline constexpr double LID_POLL_SECONDS = 0.5;
inline constexpr double LID_CONFIRM_SECONDS = 5.0;

// Takes the lock under the current settings; does not touch the switch. Local mode
// completes before returning, daemon mode later on the main queue.
void arm(std::function<void(const ArmResult&)> completion);
// Gives the lock back; the switch stays as it is.
void release();
// Takes (true) or drops (false) the idle assertions directly; false when taking failed.
bool holdIdleAssertion(bool on);
bool isArmed();

bool hasLid();
std::optional<bool> lidClosed();
std::optional<bool> lidCausesSleep();
bool systemSleepDisabled();
bool idleAssertionIsHeld();
bool systemIdleAssertionIsHeld();
bool displayIdleAssertionIsHeld();

// The parts of the local lock, open for the tests and the launch check.
std::optional<bool> rootDomainFlag(const QString& key);
std::optional<LocalPowerState> currentPowerState();
std::optional<QString> localReleaseReason(double now, double until, int floor,
                                          const std::optional<LocalPowerState>& power);
bool shouldConfirmClosedLid(std::optional<bool> previous, bool current);
bool holdDisplayAssertion();
void startLocalLimitMonitoring();
void stopLocalLimitMonitoring();
void pollLid();
void enforceLocalLimits(const QString& source);

// Daemon mode: the state files and the guard.
QString stateDir();
QString tokenPath();
QString beatPath();
QString reasonPath();
inline const char* const daemonLabel = "local.murmelo.stay-awake";
inline constexpr double beatStaleAfter = 30.0;
inline constexpr double GUARD_POLL_SECONDS = 3.0;
inline constexpr int ARM_CONFIRM_CHECKS = 15;
inline constexpr int RELEASE_CONFIRM_CHECKS = 12;

// The guard runs in this process.
bool isInstalled();
bool tokenExists();
bool guardIsAlive();
bool isOrphaned();
// Both complete on the main queue with an error text or none.
void forceRelease(std::function<void(const std::optional<QString>&)> completion);
void uninstall(std::function<void(const std::optional<QString>&)> completion);
// The guard's last reason for ending a lock, once; the file is deleted.
std::optional<QString> takeLastReason();

bool writeToken(double deadline, int floor);
void confirm(bool expected, int within, std::function<void(bool)> completion);
// The guard: one pass at once, then one every GUARD_POLL_SECONDS while it runs.
void startGuard();
void stopGuard();
void guardPass();

// Status, texts, report and the launch check.
Status status();
QString statusText();
QString shortStatusText();
QString report();
// True when the launch sequence is to offer releasing an unguarded lock.
bool checkAtLaunch();

// The one-shot command-line modes: what they print and the exit status.
struct ModeOutput {
    QString text;
    int exitStatus = 0;
};
ModeOutput statusMode();
// Completes on the main queue, also when there is nothing to remove.
void uninstallMode(std::function<void(const ModeOutput&)> completion);

// Drops every hold, timer and observer; tests call it between cases.
void resetForTesting();

}  // namespace StayAwake
}  // namespace murmelo
