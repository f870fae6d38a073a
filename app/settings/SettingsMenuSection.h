#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// The settings window.
class SettingsMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    std::function<void()> openSettings;
};

}  // namespace murmelo
