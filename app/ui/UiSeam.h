#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the status item, menu and build panel. Each entry calls the real
// thing; tests install their own (ScopedService) to watch the order of the calls.
struct UiSeam {
    static UiSeam& shared() { return sharedService<UiSeam>(); }
    UiSeam();

    std::function<void()> buildStatusMenu;
    std::function<void()> ensureStatusItem;
    std::function<void()> solarCalibrationRecording;
    std::function<void()> buildPanelRefresh;
};

}  // namespace murmelo
