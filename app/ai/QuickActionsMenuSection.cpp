#include "ai/QuickActionsMenuSection.h"

#include "ai/QuickActionsController.h"
#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/HotkeyDef.h"
#include "ui/CoreMenuSections.h"

#include <QAction>

namespace murmelo {
QuickActionsMenuSection::QuickActionsMenuSection()
    : commandHotkeyName([] { return hotkeyTitle(activeCommandHotkey()); }) {}

bool QuickActionsMenuSection::isQuickActionsEnabled() { return murmelo::isQuickActionsEnabled(); }

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
        setQuickActionsEnabled(on);
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
