#include "polish/PolishTap.h"

#include "base/Log.h"
#include "dictation/RecordingControl.h"
#include "input/HotkeyDef.h"

#include <cmath>

namespace murmelo {

PolishTap::PolishTap() : isRecording([] { return murmelo::isRecording(); }), self_(std::make_shared<PolishTap*>(this)) {}

PolishTap::~PolishTap() {
    *self_ = nullptr;
    pending_.cancel();
}

void PolishTap::notePolishDown() {
    downAt_ = Clock::shared().uptime();
    if (keyCount) keysAtDown_ = keyCount();
}

void PolishTap::notePolishUp() {
    if (!downAt_) return;
    // Whole microseconds, so that uptime rounding cannot turn a 0.4 s hold into a tap.
    const double held = std::round((Clock::shared().uptime() - *downAt_) * 1e6) / 1e6;
    downAt_.reset();
    const bool keyBetween = keyCount && keyCount() != keysAtDown_;
    if (held >= TAP_LIMIT || keyBetween) return;  // a hold, or the key served as a modifier
    if (isRecording && isRecording()) return;
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
        if (tap->perform) tap->perform(PolishScopeMode::currentParagraphUnpolished);
        else logLine(QStringLiteral("polish: маршруты полировки ещё не подключены — тап ничего не делает"));
    });
}

void PolishTap::cancelPendingPolish(const QString& reason) {
    if (!pending_.isPending()) return;
    pending_.cancel();
    pending_.reset();
    logLine(QStringLiteral("polish: отменена — ") + reason);
}

}  // namespace murmelo
