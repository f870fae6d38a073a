#include "input/InputMenuSections.h"

#include "base/Localization.h"
#include "base/MurmeloRuntimeSafety.h"
#include "input/HistoryMenus.h"
#include "input/HotkeyDef.h"

namespace murmelo {

HeaderMenuSection::HeaderMenuSection()
    : dictationKeyName([] { return hotkeyTitle(activeHotkey()); }),
      commandKeyName([] { return hotkeyTitle(activeCommandHotkey()); }) {}

QList<MenuEntry> HeaderMenuSection::entries() const {
    if (MurmeloRuntimeSafety::isQuickActionsSmokeMode())
        return {MenuEntry::disabled("header", L("menu.header.smoke", "Ondrix — безопасная проверка Quick Actions"))};
    return {MenuEntry::disabled("header", L("menu.header", "Ondrix — %1$@ диктовка · %2$@ команда",
                                            {dictationKeyName(), commandKeyName()}))};
}

QList<MenuEntry> InputStatusMenuSection::entries() const {
    return {MenuEntry::disabled("secureInputItem",
                                L("menu.secureInput",
                                  "Скрытый ввод: система прячет клавиатуру — правки молчат, диктовка работает"),
                                "lock.file", true),
            MenuEntry::disabled("tapFuseItem", {}, "exclamationmark.triangle", true)};
}

HistoryMenuSection::HistoryMenuSection()
    : attach([] {
          HistoryMenus::refreshTapFuseItem();
          HistoryMenus::rebuildHistoryMenu();
          HistoryMenus::rebuildClipboardMenu();
          HistoryMenus::attach();
      }) {}

QList<MenuEntry> HistoryMenuSection::entries() const {
    MenuEntry history = MenuEntry::item("historyMenu", L("menu.history", "Последние надиктовки"), "mic");
    history.hasSubmenu = true;
    MenuEntry clipboard = MenuEntry::item("clipboardMenu", L("menu.clipboard", "Последние буферы"), "doc.on.clipboard");
    clipboard.hasSubmenu = true;
    return {history, clipboard};
}

void HistoryMenuSection::built(StatusMenu&) { attach(); }

}  // namespace murmelo
