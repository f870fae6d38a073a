#include "ui/CoreMenuSections.h"

#include "base/BuildStamp.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/OrderlyQuit.h"

#include <QCoreApplication>

namespace murmelo {

QList<MenuEntry> BuildMenuSection::entries() const {
    if (!BuildStamp::isWork()) return {};
    MenuEntry build = MenuEntry::item("build", L("menu.build", "Сборка: %@", {BuildStamp::line()}), "hammer");
    build.hasSubmenu = true;
    for (const QString& line : BuildStamp::recent()) build.submenu << MenuEntry::disabled("buildRecent", line);
    if (auto root = BuildStamp::root()) build.submenu << MenuEntry::separatorLine() << MenuEntry::disabled("buildRoot", *root);
    return {build};
}

QList<MenuEntry> QuitMenuSection::entries() const {
    MenuEntry quit = MenuEntry::item("terminate", L("menu.quit", "Выход"), "power");
    quit.shortcut = "q";
    return {quit};
}

std::function<void()>& QuitMenuSection::quitRequest() {
    static std::function<void()> request;
    return request;
}

void QuitMenuSection::trigger(const QString&, QAction*) {
    if (quitRequest()) {
        quitRequest()();
        return;
    }
    OrderlyQuit::runFlushCallbacks();
    QCoreApplication::quit();
}

void runMenuAction(const std::function<void()>& action, const QString& line) {
    if (action) {
        action();
        return;
    }
    logLine(QStringLiteral("меню: «") + line + QStringLiteral("» — этой части в сборке ещё нет"));
}

}  // namespace murmelo
