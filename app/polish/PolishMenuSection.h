#pragma once
#include "ui/StatusMenu.h"

namespace murmelo {

// The polish switch, titled with the key that triggers polish.
class PolishMenuSection : public StatusMenuSection {
public:
    // The key that triggers polish, as the section names it.
    class Hotkey {
    public:
        virtual ~Hotkey() = default;
        virtual bool hasActivePolishHotkey() = 0;
        virtual QString polishHotkeyName() = 0;
    };
    // The program's: the polish key of the settings.
    class SettingsHotkey final : public Hotkey {
    public:
        bool hasActivePolishHotkey() override;
        QString polishHotkeyName() override;
    };

    explicit PolishMenuSection(Hotkey& hotkey) : hotkey_(hotkey) {}
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void refresh(StatusMenu& menu) override;

private:
    Hotkey& hotkey_;
};

}  // namespace murmelo
