#include "platform/Workspace.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed nothing is known of other applications.
class NoWorkspace : public Workspace {
public:
    std::optional<AppIdentity> frontmostApplication() const override { return std::nullopt; }
    bool isRunning(const AppIdentity&) const override { return false; }
    std::vector<AppIdentity> runningApplications() const override { return {}; }
    bool activate(const AppIdentity&) override { return false; }
    void setActivationHandler(std::function<void(const AppIdentity&)>) override {}
};

}  // namespace

int Workspace::addActivationObserver(std::function<void(const AppIdentity&)> observer) {
    const int id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void Workspace::removeActivationObserver(int id) { observers_.erase(id); }

void Workspace::notifyActivationObservers(const AppIdentity& app) {
    // A copy: an observer may remove itself.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) observer(app);
}

Workspace& Workspace::shared() {
    if (auto* w = installedService<Workspace>()) return *w;
    static NoWorkspace none;
    return none;
}

void Workspace::install(Workspace* workspace) { installService<Workspace>(workspace); }

}  // namespace murmelo
