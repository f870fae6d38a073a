#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// Correcting the last dictation and the learned corrections.
class CorrectionsMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;

    std::function<void()> showCorrection;
    std::function<void()> showRules;
};

}  // namespace murmelo
