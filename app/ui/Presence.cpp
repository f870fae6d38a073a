#include "ui/Presence.h"

#include "platform/Service.h"

namespace murmelo {

QuickPanelController& QuickPanelController::shared() {
    if (auto* c = installedService<QuickPanelController>()) return *c;
    static QuickPanelController none;
    return none;
}

void QuickPanelController::install(QuickPanelController* controller) { installService<QuickPanelController>(controller); }

}  // namespace murmelo
