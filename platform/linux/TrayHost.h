#pragma once
#include <QString>
#include <functional>

namespace murmelo::linuxdesktop {

// Whether a tray host (a status notifier or XEmbed system tray) is there for the status
// item. Stock GNOME has none: then the status item is simply not seen and the program
// keeps running, reachable through its floating presence. The first time the answer is
// false, log gets one line; later calls stay silent.
bool trayHostAvailable(const std::function<void(const QString&)>& log);

// The line written when there is no tray host.
QString noTrayHostLine();

}  // namespace murmelo::linuxdesktop
