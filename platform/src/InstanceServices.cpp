#include "platform/DistributedNotificationCenter.h"
#include "platform/InstanceRegistry.h"
#include "platform/SessionEnd.h"
#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed every copy is alone, nothing crosses processes and the
// session never ends.
class NoInstanceRegistry : public InstanceRegistry {
public:
    Claim claim(const QString&) override { return {}; }
    void activate(qint64) override {}
};

class NoNotificationCenter : public DistributedNotificationCenter {
public:
    void post(const QString&) override {}
    void addObserver(const QString&, std::function<void()>) override {}
};

class NoSessionEnd : public SessionEnd {
public:
    void setHandler(std::function<void(Kind)>) override {}
};

}  // namespace

InstanceRegistry& InstanceRegistry::shared() {
    if (auto* r = installedService<InstanceRegistry>()) return *r;
    static NoInstanceRegistry none;
    return none;
}

void InstanceRegistry::install(InstanceRegistry* registry) { installService<InstanceRegistry>(registry); }

DistributedNotificationCenter& DistributedNotificationCenter::shared() {
    if (auto* c = installedService<DistributedNotificationCenter>()) return *c;
    static NoNotificationCenter none;
    return none;
}

void DistributedNotificationCenter::install(DistributedNotificationCenter* center) {
    installService<DistributedNotificationCenter>(center);
}

SessionEnd& SessionEnd::shared() {
    if (auto* s = installedService<SessionEnd>()) return *s;
    static NoSessionEnd none;
    return none;
}

void SessionEnd::install(SessionEnd* sessionEnd) { installService<SessionEnd>(sessionEnd); }

}  // namespace murmelo
