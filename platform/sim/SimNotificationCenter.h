#pragma once
#include "platform/DistributedNotificationCenter.h"

#include <QStringList>
#include <map>
#include <vector>

namespace murmelo::sim {

// Notifications within the test process, delivered through the main queue as another
// process would receive them: later, never inside post().
class SimNotificationCenter : public DistributedNotificationCenter {
public:
    void post(const QString& name) override;
    void addObserver(const QString& name, std::function<void()> handler) override;

    int observerCount(const QString& name) const;
    QStringList posted;

private:
    std::map<QString, std::vector<std::function<void()>>> observers_;
};

}  // namespace murmelo::sim
