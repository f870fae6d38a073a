#pragma once
#include "ai/QuickActionsMenuSection.h"
#include "cleanup/CleanupMenuSections.h"
#include "dictation/ModelMenuSection.h"
#include "input/InputMenuSections.h"
#include "layout/LayoutMenuSections.h"
#include "meetings/MeetingsMenuSection.h"
#include "polish/PolishMenuSection.h"
#include "reply/ScreenReplyMenuSection.h"
#include "settings/SettingsMenuSection.h"
#include "ui/CoreMenuSections.h"
#include "vocabulary/CorrectionsMenuSection.h"

#include <vector>

namespace murmelo {

// Every subsystem's lines of the status menu, each in its place, for as long as this
// lives. The process makes one before the menu is built; tests make their own.
struct StatusMenuSections {
private:
    // The program's answers of the switcher and the polish key, unless others are given.
    LayoutMenuSection::HostSwitcher hostSwitcher_;
    PolishMenuSection::SettingsHotkey settingsHotkey_;

public:
    StatusMenuSections();
    StatusMenuSections(LayoutMenuSection::Switcher& layoutSwitcher, PolishMenuSection::Hotkey& polishHotkey);

    HeaderMenuSection header;
    ModelMenuSection model;
    InputStatusMenuSection inputStatus;
    RivalMenuSection rival;
    BuildMenuSection build;
    HistoryMenuSection history;
    CorrectionsMenuSection corrections;
    CleanupSelfTestMenuSection cleanupSelfTest;
    LayoutMenuSection layout{hostSwitcher_};
    CleanupModeMenuSection cleanupMode;
    PolishMenuSection polish{settingsHotkey_};
    QuickActionsMenuSection quickActions;
    ScreenReplyMenuSection screenReply;
    MeetingsMenuSection meetings;
    SettingsMenuSection settings;
    QuitMenuSection quit;

private:
    std::vector<StatusMenuRegistration> registrations_;
};

}  // namespace murmelo
