// ReplyTarget's own operations (the record is declared with the dictation, which carries it).
#include "dictation/DictationNeighbours.h"
#include "platform/Workspace.h"

#include <QCoreApplication>

namespace murmelo {

const QStringList& ReplyTarget::notATarget() {
    static const QStringList ids = {
        QStringLiteral("com.apple.SecurityAgent"), QStringLiteral("com.apple.loginwindow"),
        QStringLiteral("com.apple.systemuiserver"),
        // Their Linux kin: the polkit authentication agents, which ask for a password, and
        // the screen lockers.
        QStringLiteral("polkit-gnome-authentication-agent-1"), QStringLiteral("polkit-kde-authentication-agent-1"),
        QStringLiteral("org.kde.polkit-kde-authentication-agent-1"), QStringLiteral("polkit-mate-authentication-agent-1"),
        QStringLiteral("lxpolkit"), QStringLiteral("xfce-polkit"), QStringLiteral("xscreensaver"),
        QStringLiteral("xsecurelock"), QStringLiteral("i3lock"), QStringLiteral("slock"),
        QStringLiteral("light-locker"), QStringLiteral("kscreenlocker_greet")};
    return ids;
}

std::optional<ReplyTarget> ReplyTarget::current() {
    const auto front = Workspace::shared().frontmostApplication();
    if (!front) return std::nullopt;
    if (front->pid == QCoreApplication::applicationPid()) return std::nullopt;
    ReplyTarget t;
    t.pid = qint32(front->pid);
    t.bundleID = front->bundleIdentifier.isEmpty() ? QStringLiteral("pid.") + QString::number(front->pid)
                                                   : front->bundleIdentifier;
    if (notATarget().contains(t.bundleID)) return std::nullopt;
    t.appName = front->localizedName.isEmpty() ? QStringLiteral("Приложение") : front->localizedName;
    return t;
}

bool ReplyTarget::isAlive() const {
    return Workspace::shared().isRunning(AppIdentity{QString(), appName, pid});
}

}  // namespace murmelo
