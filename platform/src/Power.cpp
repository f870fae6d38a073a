#include "platform/Power.h"

#include "platform/Service.h"

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

Power& Power::shared() {
    if (auto* p = installedService<Power>()) return *p;
    static NoPower none;
    return none;
}

void Power::install(Power* power) { installService<Power>(power); }

}  // namespace murmelo
