#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

namespace murmelo::Autostart {

// The login item is an XDG autostart entry. An older autostart file of this program
// ("murmelo.desktop") is the legacy entry: while it exists the switch lives in the
// "murmelo.autostart" setting and turns that entry on and off.
inline constexpr const char* LEGACY_LABEL = "com.local.murmelo";
inline constexpr const char* LEGACY_ENTRY_NAME = "murmelo.desktop";
inline constexpr const char* SWITCH_KEY = "murmelo.autostart";

QString legacyPlistPath();
QString backupPath();
bool isLegacyMode();

bool isEnabled();
void setEnabled(bool on);

// The legacy entry restarts the application whenever it quits (the desktop session's
// "X-GNOME-AutoRestart" set to true).
bool legacyHasBlanketKeepAlive();
bool isBlanketKeepAlive(const QMap<QString, QString>& entry);

struct Migration {
    bool migrated = false;  // the login item was registered
    QStringList output;     // the lines for standard output
};
Migration migrateFromLegacy();

// "--migrate-autostart": the text to print and the exit status (0 when migrated or
// nothing to migrate, 1 when the migration failed).
struct CommandResult {
    QString output;
    int exitStatus = 0;
};
CommandResult runMigrateAutostart();

}  // namespace murmelo::Autostart
