#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// The meetings window.
class MeetingsMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    std::function<void()> openMeetings;
};

}  // namespace murmelo
