#pragma once
#include "ui/StatusMenu.h"

namespace murmelo {

// The recognition model's line; the model start writes the model into it.
class ModelMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
};

// Names the selected model in the status menu's model line ("—" for an identifier this
// build does not know); nothing while the menu has no such line.
void refreshModelMenu();

}  // namespace murmelo
