#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

namespace murmelo {

// Appends "HH:mm:ss message\n" to the application log.
void logLine(const QString& message);
// Logs only while the user allows text in the log; the closure is not run otherwise.
void logTrace(const std::function<QString()>& build);
// User text as "[text]" when allowed, else a size summary "[N симв.]" / "[N симв., M сл.]".
QString priv(const QString& text);
// Where the running copy lives, when it was built and how it is signed.
QString runningBuildLine();

namespace Log {

inline constexpr quint64 rotateAt = 8388608;
inline const char* const userTextKey = "logUserText";

QString appDir();
QString appPath();
bool isApp();
QString dir();
QString path();
QString rotatedPath();
QString legacyPath();
bool userTextEnabled();

// Appends a complete line (with its line feed) and rotates when the file grows past
// rotateAt. Safe from any thread and from several processes at once.
void write(const QString& line);
QString sidecarPath(const QString& name);
void prepareSidecar(const QString& path);
void markSidecar(const QString& path, const QString& note);
void leaveTrailAtLegacyPath();

// Recomputes the paths and forgets the preparation; tests call it after pointing the
// folders somewhere new.
void resetForTesting();

}  // namespace Log
}  // namespace murmelo
