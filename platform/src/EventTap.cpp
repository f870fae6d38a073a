#include "platform/EventTap.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Without a backend no tap can be created.
class NoEventTap : public EventTap {
public:
    bool create(Callback) override { return false; }
    bool exists() const override { return false; }
    bool isEnabled() const override { return false; }
    void setEnabled(bool) override {}
};

}  // namespace

EventTap& EventTap::shared() {
    if (auto* t = installedService<EventTap>()) return *t;
    static NoEventTap none;
    return none;
}

void EventTap::install(EventTap* tap) { installService<EventTap>(tap); }

}  // namespace murmelo
