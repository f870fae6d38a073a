#include "base/Localization.h"
#include "shell/AppDelegate.h"
#include "shell/OneShotModes.h"
#include "shell/StatusMenuSections.h"
#include "base/Log.h"
#include "shell/SubsystemLinks.h"
#include "linux/LinuxPlatform.h"
#include "linux/TrayHost.h"
#include "presence/PresenceSeam.h"
#include "ui/AppState.h"
#include "platform/MainQueue.h"
#include "platform/QtMainQueue.h"
#include "platform/Service.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// Qt aborts with a long message when it has no display; say it in one line instead.
bool hasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

// The help and an unknown option are answered before anything starts, display or not.
std::optional<int> answerCommandLine(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const auto answer = murmelo::OneShotModes::checkCommandLine(arguments);
    if (!answer) return std::nullopt;
    // Only locates the interface texts; needs no display.
    QCoreApplication core(argc, argv);
    using Kind = murmelo::OneShotModes::CommandLineAnswer::Kind;
    const bool help = answer->kind == Kind::help;
    const QByteArray text = (help ? murmelo::OneShotModes::helpText()
                                  : murmelo::OneShotModes::unknownOptionText(answer->option)).toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), help ? stdout : stderr);
    return help ? 0 : murmelo::OneShotModes::unknownOptionStatus;
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto status = answerCommandLine(argc, argv)) return *status;
    if (!hasDisplay()) {
        QCoreApplication core(argc, argv);  // locates the interface texts
        const QByteArray text =
            murmelo::L(QStringLiteral("cli.noDisplay"),
                       QStringLiteral("murmelo: нет X11-дисплея (DISPLAY не задан) — запусти на рабочем столе X11; "
                                      "тесты: scripts/test"))
                .toUtf8() +
            '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ondrix"));
    QApplication::setDesktopFileName(QStringLiteral("murmelo"));
    // A tray application: no main window, and closing a panel never ends the process.
    QApplication::setQuitOnLastWindowClosed(false);

    murmelo::QtMainQueue queue;
    // Uninstalled before the queue dies: a thread still running at exit then finds no queue
    // rather than a destroyed one (the orderly quit has stopped the stall watch's pings).
    murmelo::ScopedService<murmelo::MainQueue> installedQueue(queue);
    // The desktop backends need the application object and its event loop.
    murmelo::linuxdesktop::installLinuxPlatform(QStringLiteral("com.local.murmelo"));

    // Every subsystem's lines of the status menu, in place before the start-up builds it;
    // they live as long as the event loop.
    murmelo::StatusMenuSections sections;
    // The real drop and ladder, before the state hub is first made.
    murmelo::installPresence();
    // Stock GNOME has no tray: the status item is then invisible, which the log says once.
    murmelo::AppState::shared().trayHostAvailable = [] {
        return murmelo::linuxdesktop::trayHostAvailable([](const QString& line) { murmelo::logLine(line); });
    };
    murmelo::linkSubsystems();
    murmelo::AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &murmelo::AppDelegate::applicationDidFinishLaunching);
    // After the start-up's first lines: who switches the layouts for the switcher.
    QTimer::singleShot(0, &delegate, [] {
        const QString owner = murmelo::linuxdesktop::layoutSwitchOwner();
        if (!owner.isEmpty()) murmelo::logLine(QStringLiteral("раскладки: переключаю через ") + owner);
    });
    // 0 after a normal quit; a one-shot mode that failed ends with its own status.
    return app.exec();
}
