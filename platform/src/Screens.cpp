#include "platform/Screens.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed there is no screen.
class NoScreens : public Screens {
public:
    std::vector<ScreenInfo> screens() const override { return {}; }
    QPointF mouseLocation() const override { return {}; }
    bool compositing() const override { return false; }
};

}  // namespace

int Screens::addChangeObserver(std::function<void()> observer) {
    const int id = nextId_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void Screens::removeChangeObserver(int id) { observers_.erase(id); }

void Screens::notifyChanged() {
    // An observer may remove itself or others while it runs.
    std::vector<int> ids;
    for (const auto& [id, fn] : observers_) ids.push_back(id);
    for (int id : ids) {
        auto it = observers_.find(id);
        if (it != observers_.end()) it->second();
    }
}

QRectF Screens::toNative(const QRectF& rect) const {
    const auto all = screens();
    const double top = all.empty() ? 0 : all.front().frame.bottom();  // maxY of the first screen
    return QRectF(rect.x(), top - (rect.y() + rect.height()), rect.width(), rect.height());
}

Screens& Screens::shared() {
    if (auto* s = installedService<Screens>()) return *s;
    static NoScreens none;
    return none;
}

void Screens::install(Screens* screens) { installService<Screens>(screens); }

}  // namespace murmelo
