#include "polish/PolishRoutes.h"

#include "base/Log.h"
#include "dictation/RecordingControl.h"
#include "input/TapConsumers.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSwitcher.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "polish/PolishJournal.h"

#include <QProcessEnvironment>

namespace murmelo {

PolishRoutes::PolishRoutes(LayoutSwitcher& engine, LayoutOutput& output, PolishProtectedWords& words,
                           PolishEditDelivery& delivery, PolishCardController& card)
    : engine_(engine), output_(output), words_(words), delivery_(delivery), card_(card), self_(std::make_shared<PolishRoutes*>(this)) {}

bool PolishRoutes::isRecording() { return murmelo::isRecording(); }
quint64 PolishRoutes::keyCount() { return engine_.typedGen; }

void PolishRoutes::journalNote(const QString& rule, const QString& before, const QString& after, qint64 at,
                               std::optional<qint64> pid) {
    PolishJournal::note(rule, before, after, at, pid ? std::optional<qint32>(qint32(*pid)) : std::nullopt);
}

PolishRoutes::~PolishRoutes() {
    *self_ = nullptr;
    endCorrecting();
}

bool PolishRoutes::polishKeysFirstFromEnvironment() {
    static const bool keysFirst = qEnvironmentVariable("MURMELO_POLISH_KEYS_FIRST") != QLatin1String("0");
    return keysFirst;
}

std::function<void()> PolishRoutes::guarded(std::function<void()> fn) const {
    std::weak_ptr<PolishRoutes*> weak = self_;
    return [weak, fn = std::move(fn)] {
        const auto alive = weak.lock();
        if (alive && *alive) fn();
    };
}

bool PolishRoutes::beginCorrecting() {
    if (lockToken_ && engine_.editLock() && engine_.editLock()->token == *lockToken_) return true;
    // A polish may wait up to the corrector's time-out; the watchdog leaves such a hold alone
    // until then.
    lockToken_ = engine_.acquireEditLock(QStringLiteral("polish"), SAFETY_RELEASE);
    return lockToken_.has_value();
}

void PolishRoutes::endCorrecting() {
    if (!lockToken_) return;
    engine_.releaseEditLock(*lockToken_);
    lockToken_.reset();
}

void PolishRoutes::sendKey(quint16 keyCode, quint64 flags) {
    // The engine's own marked keys, which the simulated stand receives in stand mode.
    output_.sendKey(keyCode, flags);
}

QString PolishRoutes::frontAppName() const {
    const auto front = Workspace::shared().frontmostApplication();
    return front ? front->localizedName : QStringLiteral("?");
}

std::optional<qint64> PolishRoutes::frontPid() const {
    const auto front = Workspace::shared().frontmostApplication();
    return front ? std::optional<qint64>(front->pid) : std::nullopt;
}

void PolishRoutes::polishTriggered(PolishScopeMode mode) {
    if (polishGestureSink) {
        polishGestureSink(mode);
        return;
    }
    if (!TapPolish::isPolishEnabled() || engine_.isCorrecting()) return;
    if (!polishViaAX(true, mode)) {
        logLine(QStringLiteral("polish: AX-транспорт не годится — иду через буфер"));
        polishSelection(mode);
    }
}

void PolishRoutes::noteSpaceTyped() {
    if (!doubleSpaceEnabled) return;
    if (!TapPolish::isPolishEnabled() || isRecording()) return;
    const double now = Clock::shared().uptime();
    const bool paired = lastSpaceAt_ && now - *lastSpaceAt_ <= POLISH_DOUBLE_SPACE_WINDOW;
    lastSpaceAt_ = now;
    if (!paired) return;
    // A third space does not pair with the second.
    lastSpaceAt_.reset();
    MainQueue::shared().after(POLISH_DOUBLE_SPACE_SETTLE, guarded([this] {
        if (!TapPolish::isPolishEnabled() || engine_.isCorrecting()) return;
        logLine(QStringLiteral("polish: двойной пробел — правлю законченное предложение"));
        // An automatic gesture never falls back to the clipboard.
        polishViaAX(false, PolishScopeMode::lastSentenceIncremental);
    }));
}

}  // namespace murmelo
