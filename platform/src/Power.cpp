#include "platform/Power.h"

#include "platform/Service.h"

#include <vector>

namespace murmelo {
namespace {

// Before a backend is installed nothing can be held and nothing is known.
class NoPower : public Power {
public:
    int createAssertion(PowerAssertionType, const QString&, quint32& id) override {
        id = 0;
        return -1;
    }
    void releaseAssertion(quint32) override {}
    bool setSleepLock(bool on) override { return !on; }
    std::optional<bool> sleepDisabled() override { return std::nullopt; }
    std::optional<bool> lidClosed() override { return std::nullopt; }
    std::optional<bool> lidCausesSleep() override { return std::nullopt; }
    std::optional<PowerSourceState> powerSource() override { return std::nullopt; }
    void setSleepHandlers(std::function<void()>, std::function<void()>) override {}
};

}  // namespace

int Power::addWakeObserver(std::function<void()> didWake) {
    const int id = nextWakeId_++;
    wakeObservers_.emplace(id, std::move(didWake));
    wakeObserversChanged();
    return id;
}

void Power::removeWakeObserver(int id) {
    wakeObservers_.erase(id);
    wakeObserversChanged();
}

void Power::notifyWakeObservers() {
    // An observer may remove itself while it runs.
    std::vector<int> ids;
    for (const auto& [id, fn] : wakeObservers_) ids.push_back(id);
    for (int id : ids) {
        auto it = wakeObservers_.find(id);
        if (it != wakeObservers_.end()) it->second();
    }
}

Power& Power::shared() {
    if (auto* p = installedService<Power>()) return *p;
    static NoPower none;
    return none;
}

void Power::install(Power* power) { installService<Power>(power); }

}  // namespace murmelo
