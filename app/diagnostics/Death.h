#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// The children whose process ids the death handlers kill: the two servers and the agent program
// of a screen reply. The raw value is the slot.
enum class DeathChild : int { whisperServer = 0, corrector = 1, codexAgent = 2 };
inline constexpr int DEATH_CHILD_COUNT = 3;
std::optional<DeathChild> deathChildFromRaw(int raw);

// Sends SIGTERM (the session ending) and SIGHUP (the terminal closed; left alone when it is
// ignored, as under nohup) to the orderly quit on the main thread; a second one while that
// runs is a death like any other. Needs the application object; calling it again is harmless.
void installQuitSignals();

// Installs the handlers for fatal signals, normal exit and uncaught exceptions, and the quit
// signals' when they are not in place yet. Once, at start-up, after the log path is known.
void installDeathLogging();

// The recording file prepared for the next dictation, deleted at death. Paths of 1024
// UTF-8 bytes or more are not remembered (and forget an earlier one).
void rememberPrimedForDeath(const QString& path);
void forgetPrimedForDeath();
std::optional<QString> primedPathForDeath();

// The registry of the children. Any thread; lock-free, readable from a signal handler.
// A registered child is signalled through a process descriptor taken when it is
// remembered, so a process id reused after the server ended is never killed.
void rememberChildForDeath(DeathChild child, qint32 pid);
void forgetChildForDeath(DeathChild child, qint32 ifPid);
qint32 childPidForDeath(DeathChild child);

}  // namespace murmelo
