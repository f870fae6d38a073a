#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// Correcting the last dictation and the learned corrections.
// Both lines open the learning dialogs unless the one who owns the section sets others.
class CorrectionsMenuSection : public StatusMenuSection {
public:
    CorrectionsMenuSection();
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;

    std::function<void()> showCorrection;
    std::function<void()> showRules;
};

}  // namespace murmelo
