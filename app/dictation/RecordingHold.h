#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Recordings held in the temporary folder for a rollback window after their dictation,
// under names of their own, and the janitor that deletes them once the window has passed.
// Main thread only.
namespace RecordingHold {

inline constexpr double defaultSeconds = 3600;
inline const QString prefix = QStringLiteral("murmelo_hold_");
inline const QString KEY = QStringLiteral("recordingHoldSeconds");
inline constexpr double JANITOR_INTERVAL = 60;

// The folder of held files: the recorder's temporary folder.
QString tmpDir();
// The stored window when it is a number (a negative one reads as 0), else an hour. 0
// switches holding off.
double seconds();
QString heldName(const QString& recording);
// Moves the recording to its held name (replacing an older held file of that name) and
// makes it owner-only; none when nothing was held, the recording then stays where it was.
std::optional<QString> hold(const QString& recording, const QString& folder = tmpDir(),
                            std::optional<double> window = std::nullopt);
// Held files of the folder, newest first.
QStringList held(const QString& folder = tmpDir());
// Deletes the held files modified before now minus the window; answers how many.
int sweep(const QString& folder, const QDateTime& now, double window);
// Sweeps once and starts the janitor; a second call does nothing.
void startJanitor();

void resetForTesting();

}  // namespace RecordingHold

// What becomes of a recording its dictation is done with: kept when the user keeps
// recordings, else held, else deleted. Answers where it went (none: deleted).
std::optional<QString> settleRecording(const QString& recording);

}  // namespace murmelo
