#include "linux/LinuxPlatform.h"

#include "../src/ProcessRunningApplication.h"

namespace murmelo::linuxdesktop {

void installLinuxPlatform(const QString& appId) {
    static ProcessRunningApplication app(appId);
    RunningApplication::install(&app);
}

}  // namespace murmelo::linuxdesktop
