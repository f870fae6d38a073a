#pragma once
#include <QString>

namespace murmelo {

// The start and stop of every push-to-talk dictation: whether a press may record, what the
// press describes (front application, reply target, command hotkey), the recorder's start,
// and at the release the length check, the tail, the stop and the hand-over of the
// finished file. A key-release watchdog ends a recording whose release never arrived.
// Main thread only.

// The shortest take that is transcribed, and how long recording goes on after the release
// (seconds). The tail is not counted toward the minimum.
inline constexpr double MIN_DUR = 0.3;
inline constexpr double TAIL_PAD = 0.12;

// The watchdog's first reading after arming, the spacing of the next ones, and how many
// readings in a row with the hotkey up stop the recording.
inline constexpr double KEY_WATCHDOG_FIRST = 0.3;
inline constexpr double KEY_WATCHDOG_EVERY = 0.1;
inline constexpr int KEY_WATCHDOG_MISSES = 2;

void startRec(bool command);
void stopRec();
// A dictation recording runs (false already during the tail).
bool isRecording();
void startKeyReleaseWatchdog();
void stopKeyReleaseWatchdog();

namespace RecordingControl {

// Puts recording control behind the event tap's dictation hotkeys.
void installTapDictation();
// The previous take is still in its tail.
bool hasPendingStop();
bool watchdogArmed();
void resetForTesting();

}  // namespace RecordingControl
}  // namespace murmelo
