#include "shell/StatusMenuSections.h"

#include "input/HistoryMenus.h"
#include "settings/PrefsWindow.h"

namespace murmelo {

StatusMenuSections::StatusMenuSections() : StatusMenuSections(hostSwitcher_, settingsHotkey_) {}

StatusMenuSections::StatusMenuSections(LayoutMenuSection::Switcher& layoutSwitcher,
                                       PolishMenuSection::Hotkey& polishHotkey)
    : layout(layoutSwitcher), polish(polishHotkey) {
    using P = StatusMenuPlace;
    registrations_.emplace_back(P::header, &header);
    registrations_.emplace_back(P::model, &model);
    registrations_.emplace_back(P::inputStatus, &inputStatus);
    registrations_.emplace_back(P::rival, &rival);
    registrations_.emplace_back(P::build, &build);
    registrations_.emplace_back(P::history, &history);
    registrations_.emplace_back(P::corrections, &corrections);
    registrations_.emplace_back(P::cleanupSelfTest, &cleanupSelfTest);
    registrations_.emplace_back(P::layout, &layout);
    registrations_.emplace_back(P::cleanupMode, &cleanupMode);
    registrations_.emplace_back(P::polish, &polish);
    registrations_.emplace_back(P::quickActions, &quickActions);
    registrations_.emplace_back(P::screenReply, &screenReply);
    registrations_.emplace_back(P::meetings, &meetings);
    registrations_.emplace_back(P::settings, &settings);
    registrations_.emplace_back(P::quit, &quit);
    // The settings window opens on its main page, and on the history page from the clipboard
    // history's own line.
    settings.openSettings = [] { PrefsWindow::shared().show(PrefsTab::home); };
    HistoryMenus::openClipboardSettingsHandler() = [] { PrefsWindow::shared().show(PrefsTab::history); };
}

}  // namespace murmelo
