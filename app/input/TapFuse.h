#pragma once
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace murmelo {

// The circuit breaker of the event tap. The system switches a tap off when its callback
// keeps the stream waiting; the breaker decides whether it goes straight back on, whether
// the heavy consumers are skipped for a while (light pause, hotkeys still work), whether
// the tap stays off for a while, or until the process restarts. Times are uptime seconds.
// Main thread only.
namespace TapFuse {

enum class Reason { timeout, userInput };

inline constexpr int maxDisables = 3;
inline constexpr double window = 60.0;
inline constexpr double cooldown = 180.0;
inline constexpr int maxEpisodes = 3;

bool shouldReEnable(Reason reason, double now);
bool heavyLayersSuspended(double now);
bool mayRearm(double now);
// The status menu's line; none while nothing is wrong.
std::optional<QString> menuLine();
void reset();

int episodes();
bool burnedOut();

}  // namespace TapFuse

// Makes a swallowed key press disappear whole: the key up of a swallowed key down is
// swallowed too when it comes within the deadline.
namespace SwallowedKeys {

inline constexpr double ttl = 2.0;

void noteSwallowedDown(qint64 keyCode, double now);
bool shouldSwallowUp(qint64 keyCode, double now);
int sweepExpired(double now);
void reset();
int trackedCount();

}  // namespace SwallowedKeys
}  // namespace murmelo
