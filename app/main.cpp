#include "shell/AppDelegate.h"
#include "ui/UiSeam.h"
#include "input/StatusMenus.h"
#include "linux/LinuxPlatform.h"
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

// The input layer sits above the core; the start-up reaches it through these entries.
void connectInputLayer() {
    static murmelo::InputMenuServices menuServices;
    murmelo::StatusMenuServices::install(&menuServices);
    auto& ui = murmelo::UiSeam::shared();
    ui.buildStatusMenu = [build = ui.buildStatusMenu] {
        build();
        murmelo::StatusMenus::attach();
    };
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

    connectInputLayer();
    murmelo::AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &murmelo::AppDelegate::applicationDidFinishLaunching);
    // 0 after a normal quit; a one-shot mode that failed ends with its own status.
    return app.exec();
}
