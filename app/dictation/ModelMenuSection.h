#pragma once
#include "ui/StatusMenu.h"

namespace murmelo {

// The recognition model's line; the model start writes the model into it.
class ModelMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
};

}  // namespace murmelo
