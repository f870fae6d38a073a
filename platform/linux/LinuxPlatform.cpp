#include "linux/LinuxPlatform.h"

#include "../src/ProcessRunningApplication.h"
#include "linux/LinuxPower.h"

namespace murmelo::linuxdesktop {

void installLinuxPlatform(const QString& appId) {
    static ProcessRunningApplication app(appId);
    RunningApplication::install(&app);
    static LinuxPower power;
    Power::install(&power);
}

}  // namespace murmelo::linuxdesktop
