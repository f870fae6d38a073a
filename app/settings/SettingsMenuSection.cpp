#include "settings/SettingsMenuSection.h"

#include "base/Localization.h"
#include "ui/CoreMenuSections.h"

namespace murmelo {

QList<MenuEntry> SettingsMenuSection::entries() const {
    MenuEntry prefs = MenuEntry::item("openPrefs", L("menu.prefs", "Настройки…"), "gearshape");
    prefs.shortcut = ",";
    return {prefs};
}

void SettingsMenuSection::trigger(const QString&, QAction*) {
    if (openSettings) {
        openSettings();
        return;
    }
    logMenuLineUnavailable(L("menu.prefs", "Настройки…"));
}

}  // namespace murmelo
