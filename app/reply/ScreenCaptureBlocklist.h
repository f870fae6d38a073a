#pragma once
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// The one test for applications that are never read for screen context nor captured: password
// managers and the desktop's own password and keyring tools. Any thread.
namespace ScreenCaptureBlocklist {

inline const QString userListKey = QStringLiteral("screenCaptureBlockedApps");

// Always blocked, compared exactly.
const QSet<QString>& builtIn();
// The ids the user added under userListKey, read afresh on every call; a value of another type
// is an empty list.
QSet<QString> userList();
// Lower-case fragments that catch password tools not listed by name.
const QStringList& nameFragments();

bool blocks(const std::optional<QString>& bundleID);
// The running application's id, and the name of the process's executable as /proc gives it, so
// that a password manager without a desktop entry or window class is still caught.
bool blocks(qint32 pid);
// The running application's name, "приложение" when there is none.
QString appName(qint32 pid);

}  // namespace ScreenCaptureBlocklist

}  // namespace murmelo
