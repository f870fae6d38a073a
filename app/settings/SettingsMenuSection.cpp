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
    runMenuAction(openSettings, L("menu.prefs", "Настройки…"));
}

}  // namespace murmelo
