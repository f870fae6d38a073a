#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// The header line: which keys dictate and command (or the smoke test's own title).
class HeaderMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    std::function<QString()> dictationKeyName;
    std::function<QString()> commandKeyName;
    HeaderMenuSection();
};

// The secure-input line and the tap breaker's line, both hidden until they have something to say.
class InputStatusMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
};

// The submenus of recent dictations and clipboard items.
class HistoryMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    void built(StatusMenu& menu) override;
    // Fills the submenus and connects their refills; tests count it.
    std::function<void()> attach;
    HistoryMenuSection();
};

}  // namespace murmelo
