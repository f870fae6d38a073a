#include "reply/ScreenCaptureBlocklist.h"

#include "base/Defaults.h"
#include "platform/Processes.h"
#include "platform/Workspace.h"

#include <QFileInfo>

namespace murmelo::ScreenCaptureBlocklist {

const QSet<QString>& builtIn() {
    static const QSet<QString> ids{
        QStringLiteral("com.agilebits.onepassword-osx"),
        QStringLiteral("com.agilebits.onepassword7"),
        QStringLiteral("com.agilebits.onepassword"),
        QStringLiteral("com.1password.1password"),
        QStringLiteral("com.apple.Passwords"),
        QStringLiteral("com.apple.keychainaccess"),
        QStringLiteral("com.bitwarden.desktop"),
        QStringLiteral("org.keepassxc.keepassxc"),
        QStringLiteral("com.lastpass.LastPass"),
        QStringLiteral("in.sinew.Enpass-Desktop"),
        // The same managers on this desktop, by desktop-file id and lower-cased window class.
        QStringLiteral("1password"),
        QStringLiteral("bitwarden"),
        QStringLiteral("org.keepassxc.KeePassXC"),
        QStringLiteral("keepassxc"),
        QStringLiteral("enpass"),
        // The desktop's own keyring tools, in place of the system's password and keychain ones.
        QStringLiteral("org.gnome.seahorse.Application"),
        QStringLiteral("seahorse"),
        QStringLiteral("org.kde.kwalletmanager5"),
        QStringLiteral("kwalletmanager5"),
    };
    return ids;
}

QSet<QString> userList() { return Defaults::shared().stringSetValue(userListKey); }

const QStringList& nameFragments() {
    static const QStringList fragments{
        QStringLiteral("password"), QStringLiteral("passwd"),        QStringLiteral("keychain"),
        QStringLiteral("keepass"),  QStringLiteral("bitwarden"),     QStringLiteral("vault"),
        QStringLiteral("authenticator"), QStringLiteral("totp"),     QStringLiteral("2fa"),
    };
    return fragments;
}

bool blocks(const std::optional<QString>& bundleID) {
    if (!bundleID || bundleID->isEmpty()) return false;
    if (builtIn().contains(*bundleID)) return true;
    if (userList().contains(*bundleID)) return true;
    const QString lower = bundleID->toLower();
    for (const QString& fragment : nameFragments())
        if (lower.contains(fragment)) return true;
    return false;
}

bool blocks(qint32 pid) {
    if (const auto app = Workspace::shared().runningApplication(pid); app && blocks(app->bundleIdentifier))
        return true;
    const auto table = Processes::shared().table();
    if (!table) return false;
    for (const ProcessRow& row : *table) {
        if (row.pid != pid) continue;
        // The executable may be unreadable (another user's process); its first argument is not.
        for (const QString& path : {row.executable, row.arguments.value(0)})
            if (blocks(QFileInfo(path).fileName())) return true;
        return false;
    }
    return false;
}

QString appName(qint32 pid) {
    const auto app = Workspace::shared().runningApplication(pid);
    if (!app || app->localizedName.isEmpty()) return QStringLiteral("приложение");
    return app->localizedName;
}

}  // namespace murmelo::ScreenCaptureBlocklist
