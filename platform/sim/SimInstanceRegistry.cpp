#include "sim/SimInstanceRegistry.h"

namespace murmelo::sim {

void SimInstanceRegistry::setRunningCopy(const QString& bundleIdentifier, qint64 pid) {
    runningId_ = bundleIdentifier;
    runningPid_ = pid;
}

InstanceRegistry::Claim SimInstanceRegistry::claim(const QString& bundleIdentifier) {
    claimed << bundleIdentifier;
    if (runningPid_ > 0 && bundleIdentifier == runningId_) return {false, runningPid_};
    return {};
}

}  // namespace murmelo::sim
