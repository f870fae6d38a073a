#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// The build line with its recent commits, shown only in work builds.
class BuildMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
};

// The last line: the application's quit request.
class QuitMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    // Set by the application's quit flow, which lives above the menu: it asks for
    // confirmation and runs the shutdown. Without one the flushes run and the loop ends.
    static std::function<void()>& quitRequest();
};

// Runs a line's action, or says in the log that the line's subsystem is not in this build
// yet, so that a click that does nothing is never silent.
void runMenuAction(const std::function<void()>& action, const QString& line);

}  // namespace murmelo
