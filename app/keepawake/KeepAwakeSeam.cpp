#include "keepawake/KeepAwakeSeam.h"

#include "keepawake/StayAwake.h"

namespace murmelo {

KeepAwakeSeam::KeepAwakeSeam() {
    checkAtLaunch = [] { return StayAwake::checkAtLaunch(); };
    keepAfterOrphan = [] {
        StayAwake::setEnabled(true);
        StayAwake::arm([](const StayAwake::ArmResult&) {});
    };
    releaseAfterOrphan = [] {
        StayAwake::setEnabled(false);
        StayAwake::holdIdleAssertion(false);
        StayAwake::forceRelease([](const std::optional<QString>&) {});
    };
    isArmed = [] { return StayAwake::isArmed(); };
    usesSystemDaemon = [] { return StayAwake::usesSystemDaemon(); };
    report = [] { return StayAwake::report(); };
    isInstalled = [] { return StayAwake::isInstalled(); };
    uninstall = [](std::function<void(std::optional<QString>)> completion) {
        StayAwake::uninstall([completion](const std::optional<QString>& error) { completion(error); });
    };
}

}  // namespace murmelo
