#include "ai/QuickActionsMenuSection.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/HotkeyDef.h"
#include "ui/CoreMenuSections.h"

#include <QAction>

namespace murmelo {
namespace {
const QString QUICK_ACTIONS_KEY = QStringLiteral("quickActions.enabled");
}  // namespace

QuickActionsMenuSection::QuickActionsMenuSection()
    : commandHotkeyName([] { return hotkeyTitle(activeCommandHotkey()); }) {}

bool QuickActionsMenuSection::isQuickActionsEnabled() {
    // On until the user turns it off.
    return Defaults::shared().object(QUICK_ACTIONS_KEY) ? Defaults::shared().boolValue(QUICK_ACTIONS_KEY) : true;
}

QList<MenuEntry> QuickActionsMenuSection::entries() const {
    return {MenuEntry::toggle("toggleQuickActions", L("menu.quickActions", "Быстрые действия при выделении"),
                              "selection.pin.in.out", isQuickActionsEnabled()),
            MenuEntry::item("openQuickReplySettings",
                            L("menu.openaiKey", "AI-сервис и команды (%1$@)…", {commandHotkeyName()}),
                            "arrowshape.turn.up.left")};
}

void QuickActionsMenuSection::trigger(const QString& name, QAction* sender) {
    if (name == QStringLiteral("toggleQuickActions")) {
        const bool on = !isQuickActionsEnabled();
        Defaults::shared().set(QUICK_ACTIONS_KEY, on);
        sender->setChecked(on);
        logLine(QStringLiteral("Quick Actions: ") + (on ? QStringLiteral("вкл") : QStringLiteral("выкл")));
    } else if (name == QStringLiteral("openQuickReplySettings")) {
        runMenuAction(openQuickReplySettings, sender->text());
    }
}

void QuickActionsMenuSection::refresh(StatusMenu& menu) {
    if (QAction* a = menu.action("toggleQuickActions")) a->setChecked(isQuickActionsEnabled());
}

}  // namespace murmelo
