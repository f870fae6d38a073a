#include "polish/PolishTap.h"

#include "base/Log.h"
#include "input/HotkeyDef.h"

#include <cmath>

namespace murmelo {

PolishTap::PolishTap(Owner& owner) : owner_(owner), self_(std::make_shared<PolishTap*>(this)) {}

PolishTap::~PolishTap() {
    *self_ = nullptr;
    pending_.cancel();
}

void PolishTap::notePolishDown() {
    downAt_ = Clock::shared().uptime();
    keysAtDown_ = owner_.keyCount();
}

void PolishTap::notePolishUp() {
    if (!downAt_) return;
    // Whole microseconds, so that uptime rounding cannot turn a 0.4 s hold into a tap.
    const double held = std::round((Clock::shared().uptime() - *downAt_) * 1e6) / 1e6;
    downAt_.reset();
    const bool keyBetween = owner_.keyCount() != keysAtDown_;
    if (held >= TAP_LIMIT || keyBetween) return;  // a hold, or the key served as a modifier
    if (owner_.isRecording()) return;
    if (pending_.isPending()) {
        pending_.cancel();
        pending_.reset();
        logLine(QStringLiteral("polish: второй тап (двойной) → отмена"));
        return;
    }
    std::weak_ptr<PolishTap*> weak = self_;
    pending_ = MainQueue::shared().after(TAP_DELAY, [weak] {
        const auto alive = weak.lock();
        if (!alive || !*alive) return;
        PolishTap* tap = *alive;
        tap->pending_.reset();
        logLine(QStringLiteral("polish: одиночный тап ") + polishHotkeyName() + QStringLiteral(" → текущий абзац"));
        tap->owner_.performPolish(PolishScopeMode::currentParagraphUnpolished);
    });
}

void PolishTap::cancelPendingPolish(const QString& reason) {
    if (!pending_.isPending()) return;
    pending_.cancel();
    pending_.reset();
    logLine(QStringLiteral("polish: отменена — ") + reason);
}

}  // namespace murmelo
