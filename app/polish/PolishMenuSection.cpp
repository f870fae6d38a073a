#include "polish/PolishMenuSection.h"

#include "base/Localization.h"
#include "input/HotkeyDef.h"
#include "input/TapConsumers.h"
#include "polish/PolishSettings.h"

#include <QAction>

namespace murmelo {

bool PolishMenuSection::SettingsHotkey::hasActivePolishHotkey() { return activePolishHotkey().has_value(); }
QString PolishMenuSection::SettingsHotkey::polishHotkeyName() { return hotkeyTitle(activePolishHotkey()); }

QList<MenuEntry> PolishMenuSection::entries() const {
    return {MenuEntry::toggle("togglePolish",
                              hotkey_.hasActivePolishHotkey()
                                  ? L("menu.polish", "Улучшить текст — %1$@", {hotkey_.polishHotkeyName()})
                                  : L("menu.polish.noKey", "Улучшить текст — клавиша не назначена"),
                              "wand.and.stars", TapPolish::isPolishEnabled())};
}

void PolishMenuSection::trigger(const QString&, QAction* sender) {
    setPolishEnabled(!TapPolish::isPolishEnabled());
    sender->setChecked(TapPolish::isPolishEnabled());
}

void PolishMenuSection::refresh(StatusMenu& menu) {
    if (QAction* a = menu.action("togglePolish")) a->setChecked(TapPolish::isPolishEnabled());
}

}  // namespace murmelo
