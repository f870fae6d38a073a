#include "sim/SimNotificationCenter.h"

#include "platform/MainQueue.h"

namespace murmelo::sim {

void SimNotificationCenter::post(const QString& name) {
    posted << name;
    auto it = observers_.find(name);
    if (it == observers_.end()) return;
    for (const auto& handler : it->second) MainQueue::shared().post(handler);
}

void SimNotificationCenter::addObserver(const QString& name, std::function<void()> handler) {
    observers_[name].push_back(std::move(handler));
}

int SimNotificationCenter::observerCount(const QString& name) const {
    auto it = observers_.find(name);
    return it == observers_.end() ? 0 : int(it->second.size());
}

}  // namespace murmelo::sim
