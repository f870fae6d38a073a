#include "linux/TrayHost.h"

#include <QSystemTrayIcon>
#include <atomic>

namespace murmelo::linuxdesktop {

QString noTrayHostLine() {
    return QStringLiteral("tray: на рабочем столе нет области уведомлений — значок не виден, работаю дальше");
}

bool trayHostAvailable(const std::function<void(const QString&)>& log) {
    static std::atomic<bool> logged{false};
    if (QSystemTrayIcon::isSystemTrayAvailable()) return true;
    if (!logged.exchange(true) && log) log(noTrayHostLine());
    return false;
}

}  // namespace murmelo::linuxdesktop
