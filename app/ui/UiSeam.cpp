#include "ui/UiSeam.h"

#include "ui/AppState.h"
#include "ui/BuildPanelController.h"
#include "ui/StatusMenu.h"

#include <QIcon>

namespace murmelo {

UiSeam::UiSeam() {
    buildStatusMenu = [] {
        // Built once; it lives as long as the process, as the menu it hands to the hub.
        static StatusMenu* menu = new StatusMenu;
        menu->build();
    };
    ensureStatusItem = [] { AppState::shared().ensureStatusItem(); };
    solarCalibrationRecording = [] { AppState::shared().recording(QStringLiteral("Solar calibration"), QIcon()); };
    buildPanelRefresh = [] { BuildPanelController::shared().refresh(); };
}

}  // namespace murmelo
