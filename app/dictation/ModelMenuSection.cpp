#include "dictation/ModelMenuSection.h"

#include "base/Localization.h"

namespace murmelo {

QList<MenuEntry> ModelMenuSection::entries() const {
    return {MenuEntry::disabled("modelItem", L("menu.model.placeholder", "Модель: —"))};
}

}  // namespace murmelo
