#pragma once
#include "ui/StatusMenu.h"

namespace murmelo {

// The line that names other programs' event taps; hidden until the switcher finds one.
class RivalMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    // The line is current whenever the menu opens: the rivals are looked for again first.
    void refresh(StatusMenu& menu) override;
};

// The layout switch and its sound, shown when the typing-fix languages are installed.
class LayoutMenuSection : public StatusMenuSection {
public:
    // What the section reads of the switcher.
    class Switcher {
    public:
        virtual ~Switcher() = default;
        // The Russian layout is among the enabled input sources.
        virtual bool typingFixLanguagesAvailable() = 0;
        // Whether the switcher is on: the engine's own answer, so that the check mark and the
        // engine never disagree (an unset switch follows the Russian layout).
        virtual bool layoutSwitchEnabled() = 0;
    };
    // The program's: the input sources and the application's switcher host.
    class HostSwitcher final : public Switcher {
    public:
        bool typingFixLanguagesAvailable() override;
        bool layoutSwitchEnabled() override;
    };

    explicit LayoutMenuSection(Switcher& switcher) : switcher_(switcher) {}
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void refresh(StatusMenu& menu) override;
    static bool layoutSwitchSoundEnabled();

private:
    Switcher& switcher_;
};

}  // namespace murmelo
