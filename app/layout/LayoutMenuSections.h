#pragma once
#include "ui/StatusMenu.h"

#include <functional>

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
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void refresh(StatusMenu& menu) override;

    // The Russian layout is among the enabled input sources.
    std::function<bool()> typingFixLanguagesAvailable;
    // Whether the switcher is on: the engine's own answer, so that the check mark and the
    // engine never disagree (an unset switch follows the Russian layout).
    std::function<bool()> layoutSwitchEnabled;
    LayoutMenuSection();
    static bool layoutSwitchSoundEnabled();
};

}  // namespace murmelo
