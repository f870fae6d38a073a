#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// Quick Actions' switch and the AI service settings, titled with the command key.
class QuickActionsMenuSection : public StatusMenuSection {
public:
    QuickActionsMenuSection();
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void refresh(StatusMenu& menu) override;

    static bool isQuickActionsEnabled();
    std::function<QString()> commandHotkeyName;
    std::function<void()> openQuickReplySettings;
};

}  // namespace murmelo
