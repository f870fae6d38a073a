#include "shell/AppDelegate.h"
#include "shell/StatusMenuSections.h"
#include "base/Log.h"
#include "shell/SubsystemLinks.h"
#include "linux/LinuxPlatform.h"
#include "linux/TrayHost.h"
#include "ui/AppState.h"
#include "platform/MainQueue.h"
#include "platform/QtMainQueue.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

// Qt aborts with a long message when it has no display; say it in one line instead.
bool hasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

}  // namespace

int main(int argc, char** argv) {
    if (!hasDisplay()) {
        std::fprintf(stderr,
                     "murmelo: нет X11-дисплея (DISPLAY не задан) — запусти на рабочем столе X11; тесты: scripts/test\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ondrix"));
    QApplication::setDesktopFileName(QStringLiteral("murmelo"));
    // A tray application: no main window, and closing a panel never ends the process.
    QApplication::setQuitOnLastWindowClosed(false);

    murmelo::QtMainQueue queue;
    murmelo::MainQueue::install(&queue);
    // The desktop backends need the application object and its event loop.
    murmelo::linuxdesktop::installLinuxPlatform(QStringLiteral("com.local.murmelo"));

    // Every subsystem's lines of the status menu, in place before the start-up builds it;
    // they live as long as the process.
    new murmelo::StatusMenuSections;
    // Stock GNOME has no tray: the status item is then invisible, which the log says once.
    murmelo::AppState::shared().trayHostAvailable = [] {
        return murmelo::linuxdesktop::trayHostAvailable([](const QString& line) { murmelo::logLine(line); });
    };
    murmelo::linkSubsystems();
    murmelo::AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &murmelo::AppDelegate::applicationDidFinishLaunching);
    // 0 after a normal quit; a one-shot mode that failed ends with its own status.
    return app.exec();
}
