#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// The polish switch, titled with the key that triggers polish.
class PolishMenuSection : public StatusMenuSection {
public:
    PolishMenuSection();
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void refresh(StatusMenu& menu) override;

    std::function<bool()> hasActivePolishHotkey;
    std::function<QString()> polishHotkeyName;
};

}  // namespace murmelo
