#pragma once
#include "platform/InstanceRegistry.h"

namespace murmelo::linuxdesktop {

// The running copy holds an exclusive flock on "<id>.lock" in the runtime folder for the
// life of its process and keeps its process id in the file. The kernel drops the lock when
// the process dies, so a crashed copy never blocks the next start.
class LinuxInstanceRegistry : public InstanceRegistry {
public:
    Claim claim(const QString& bundleIdentifier) override;
    // Nothing to do on X11: a process may not take the focus from another, and the live
    // copy raises its own settings window when the show-settings notification arrives.
    void activate(qint64) override {}

    static QString lockPath(const QString& bundleIdentifier);

private:
    int fd_ = -1;
};

}  // namespace murmelo::linuxdesktop
