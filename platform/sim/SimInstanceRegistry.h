#pragma once
#include "platform/InstanceRegistry.h"

#include <QStringList>
#include <vector>

namespace murmelo::sim {

// Another copy that a test declares running; claims and activations are recorded.
class SimInstanceRegistry : public InstanceRegistry {
public:
    // Declares a running copy for the identifier; 0 declares none.
    void setRunningCopy(const QString& bundleIdentifier, qint64 pid);

    Claim claim(const QString& bundleIdentifier) override;
    void activate(qint64 pid) override { activated.push_back(pid); }

    QStringList claimed;
    std::vector<qint64> activated;

private:
    QString runningId_;
    qint64 runningPid_ = 0;
};

}  // namespace murmelo::sim
