#include "core/NeighbourServices.h"

#include "core/AppState.h"
#include "core/Autostart.h"
#include "core/BuildPanelController.h"
#include "core/BuildStamp.h"
#include "core/Death.h"
#include "core/Health.h"
#include "core/Localization.h"
#include "core/MainStallWatch.h"
#include "core/Orphans.h"
#include "core/StatusMenu.h"
#include "core/StayAwake.h"

#include <QIcon>

namespace murmelo {
namespace {
NeighbourServices* g_installed = nullptr;
}  // namespace

NeighbourServices::NeighbourServices() {
    buildStampLine = [] { return BuildStamp::line(); };
    preferredLocalization = [] { return Localization::language(); };
    shippedLanguages = [] { return Localization::shipped(); };
    installDeathLogging = [] { murmelo::installDeathLogging(); };
    orphansSweep = [] { Orphans::sweep(); };
    healthStart = [] { Health::start(); };
    mainStallWatchStart = [] { MainStallWatch::start(); };
    buildStatusMenu = [] {
        // Built once; it lives as long as the process, as the menu it hands to the hub.
        static StatusMenu* menu = new StatusMenu;
        menu->build();
    };
    ensureStatusItem = [] { AppState::shared().ensureStatusItem(); };
    ladderPresenceShow = [] { AppState::shared().ladder().show(); };
    presenceStyleApply = [] { AppState::shared().ensureStatusItem(); };
    solarCalibrationRecording = [] { AppState::shared().recording(QStringLiteral("Solar calibration"), QIcon()); };
    buildPanelRefresh = [] { BuildPanelController::shared().refresh(); };
    autostartIsEnabled = [] { return Autostart::isEnabled(); };
    autostartLegacyHasBlanketKeepAlive = [] { return Autostart::legacyHasBlanketKeepAlive(); };
    autostartLegacyPlistPath = [] { return Autostart::legacyPlistPath(); };
    stayAwakeCheckAtLaunch = [] { return StayAwake::checkAtLaunch(); };
    stayAwakeKeepAfterOrphan = [] {
        StayAwake::setEnabled(true);
        StayAwake::arm([](const StayAwake::ArmResult&) {});
    };
    stayAwakeReleaseAfterOrphan = [] {
        StayAwake::setEnabled(false);
        StayAwake::holdIdleAssertion(false);
        StayAwake::forceRelease([](const std::optional<QString>&) {});
    };
    stayAwakeIsArmed = [] { return StayAwake::isArmed(); };
    stayAwakeUsesSystemDaemon = [] { return StayAwake::usesSystemDaemon(); };
    stayAwakeReport = [] { return StayAwake::report(); };
    stayAwakeIsInstalled = [] { return StayAwake::isInstalled(); };
    stayAwakeUninstall = [](std::function<void(std::optional<QString>)> completion) {
        StayAwake::uninstall([completion](const std::optional<QString>& error) { completion(error); });
    };
}

NeighbourServices& NeighbourServices::shared() {
    if (g_installed) return *g_installed;
    static NeighbourServices process;
    return process;
}

void NeighbourServices::install(NeighbourServices* services) { g_installed = services; }

}  // namespace murmelo
