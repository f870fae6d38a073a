#pragma once
#include <QString>

namespace murmelo::linuxdesktop {

// Installs the real Linux backends of every platform interface for the running
// application, which identifies itself with appId.
void installLinuxPlatform(const QString& appId);

}  // namespace murmelo::linuxdesktop
