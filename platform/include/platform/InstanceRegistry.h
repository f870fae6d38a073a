#pragma once
#include <QString>

namespace murmelo {

// The copies of the application that run for this user. A claim is atomic: of copies that
// claim the same identifier at the same moment exactly one becomes the running copy, and
// it keeps the claim until its process ends. Copies with another identifier do not see it.
class InstanceRegistry {
public:
    struct Claim {
        bool isOnlyCopy = true;
        // The running copy's process when isOnlyCopy is false; 0 when it could not be read.
        qint64 otherPid = 0;
    };

    virtual ~InstanceRegistry() = default;
    virtual Claim claim(const QString& bundleIdentifier) = 0;
    // Brings the other copy to the front.
    virtual void activate(qint64 pid) = 0;

    static InstanceRegistry& shared();
    static void install(InstanceRegistry* registry);
};

}  // namespace murmelo
