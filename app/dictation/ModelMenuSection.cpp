#include "dictation/ModelMenuSection.h"

#include "base/Localization.h"
#include "dictation/ModelCatalog.h"
#include "ui/AppState.h"

#include <QAction>

namespace murmelo {

QList<MenuEntry> ModelMenuSection::entries() const {
    return {MenuEntry::disabled("modelItem", L("menu.model.placeholder", "Модель: —"))};
}

void refreshModelMenu() {
    QAction* item = AppState::shared().modelItem;
    if (!item) return;
    const auto model = currentModel();
    item->setText(QStringLiteral("Модель: ") + (model ? model->shortTitle : QStringLiteral("—")));
}

}  // namespace murmelo
