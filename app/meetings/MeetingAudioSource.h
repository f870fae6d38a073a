#pragma once
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Which application a call comes from: the programs playing sound now, each taken to the
// application that owns it, call and browser applications first. No state: every call asks
// the sound server and the process table afresh. Any thread.
namespace MeetingAudioSource {

struct Entry {
    QString name;
    QString bundleID;  // empty when the application has none
    qint64 pid = 0;    // the owning application's process, not necessarily the one playing
    bool operator==(const Entry&) const = default;
};

// Call and browser applications, by their application ids (compared without case: on Linux
// an id is a desktop-file id or a lower-cased window class).
const QSet<QString>& CALL_APPS();
// Helper-process id prefix -> the id of the application that owns it.
const QList<std::pair<QString, QString>>& HELPER_OWNER();
bool isCallApp(const QString& bundleID);

std::optional<qint64> parentPID(qint64 pid);
std::optional<Entry> owner(qint64 pid);
QList<Entry> playing();
std::optional<QString> pick(const QList<Entry>& entries);
std::optional<QString> current();
// The process of the call application now playing; none unless a known call application is.
std::optional<qint64> callAppPID();
// The name the desktop gives the application of that process; empty when it knows none.
QString localizedApplicationName(qint64 pid);

}  // namespace MeetingAudioSource
}  // namespace murmelo
