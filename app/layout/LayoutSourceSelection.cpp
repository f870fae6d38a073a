#include "layout/LayoutSourceSelection.h"

#include "base/Log.h"
#include "layout/LayoutAppStats.h"
#include "layout/LayoutSwitchSound.h"
#include "layout/ManualInputReleaseGateInjection.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "layout/SystemLayouts.h"
#include "platform/InputSources.h"
#include "platform/MainQueue.h"

#include <QElapsedTimer>

namespace murmelo {

namespace {
double uptime() { return Clock::shared().uptime(); }

// A source as the arrival line names it: its language, else the last part of its identifier.
QString shortSource(const std::optional<QString>& sourceID) {
    if (!sourceID) return QStringLiteral("?");
    if (auto lang = ManualInputSourceProfileV1::language(sourceID)) return *lang;
    const QStringList parts = sourceID->split(QLatin1Char('.'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? *sourceID : parts.last();
}

bool isEnabledSource(const QString& sourceID) {
    for (const InputSource& s : InputSources::shared().enabledSources())
        if (!s.id.isEmpty() && s.id == sourceID) return true;
    return false;
}
}  // namespace

void SwitchSoundEffects::playCue(const QString& raw) {
    if (auto cue = LayoutSwitchSound::cueFromRaw(raw)) LayoutSwitchSound::play(*cue);
}

bool SwitchSoundEffects::releaseGateForcesFailure() { return ManualInputReleaseGateInjection::forcesTISFailure(); }

LayoutSourceSelection::LayoutSourceSelection(LayoutSwitcher& engine, SelectionEffects& effects)
    : engine_(engine), effects_(effects), alive_(std::make_shared<bool>(true)) {}

LayoutSourceSelection::~LayoutSourceSelection() {
    *alive_ = false;
    engine_.pendingLayoutSelection.cancel();
}

std::optional<QString> LayoutSourceSelection::systemSourceID() {
    if (LayoutSwitcher::standMode()) {
        if (ComposeStage* s = LayoutSwitcher::stage()) return s->sourceID();
        return std::nullopt;
    }
    if (auto s = InputSources::shared().currentSource()) return s->id;
    return std::nullopt;
}

bool LayoutSourceSelection::selectNow(const QString& sourceID) {
    if (LayoutSwitcher::standMode()) {
        ComposeStage* stage = LayoutSwitcher::stage();
        if (!stage) return false;
        stage->selectSource(sourceID);
        return true;
    }
    return InputSources::shared().select(sourceID);
}

void LayoutSourceSelection::failed(const std::function<void(bool)>& completion) {
    engine_.noteAutomaticSourceSelectionFailed();
    if (completion) completion(false);
}

bool LayoutSourceSelection::selectExactSource(const QString& sourceID, bool retry, const std::optional<QString>& cue,
                                              std::function<void(bool)> completion) {
    if (!ManualInputSourceProfileV1::contains(sourceID)) {
        if (completion) completion(false);
        return false;
    }
    const bool standMode = LayoutSwitcher::standMode();
    if (!standMode && !isEnabledSource(sourceID)) return false;
    const std::optional<QString> current = engine_.observedSourceID();
    if (!current || !ManualInputSourceProfileV1::contains(current)) {
        if (completion) completion(false);
        return false;
    }
    // A rollback takes back the engine's own switch because the user undid it: the Command of
    // the Command-Z that asked for it fences automatic selections, not this one.
    const bool rollback = cue && *cue == QLatin1String("rollback");
    std::optional<quint64> ticket;
    if (!rollback) {
        ticket = engine_.layoutSelectionAuthority.request(uptime(), current);
        if (!ticket) return false;
    }
    engine_.pendingLayoutSelection.cancel();
    engine_.pendingSelectionIsRollback = rollback;

    const QString lang = ManualInputSourceProfileV1::language(sourceID).value_or(QString());
    const double now = uptime();
    engine_.graceTarget = lang;
    engine_.graceUntil = now + engine_.graceWindow;
    engine_.layoutVerifyTarget = lang;
    engine_.layoutVerifyUntil = now + LayoutSwitcher::verifyWindow;
    if (!retry) engine_.layoutVerifyRetries = 0;
    engine_.lastOwnSelect.reset();
    engine_.ownSelectArrived = false;
    engine_.idleReselectDone = false;
    engine_.ownTranslationLogged = false;

    // A stand has no system to wait for: its selection runs at the next turn of the queue.
    const double delay = standMode && LayoutSwitcher::stage() ? 0.0 : LayoutSwitcher::layoutSelectionDelay;
    std::weak_ptr<bool> alive = alive_;
    engine_.pendingLayoutSelection = MainQueue::shared().after(
        delay,
        [this, alive, ticket, expected = current, sourceID, cue, completion = std::move(completion)] {
            auto token = alive.lock();
            if (!token || !*token) return;
            perform(ticket, expected, sourceID, cue, completion);
        });
    return true;
}

void LayoutSourceSelection::perform(std::optional<quint64> ticket, const std::optional<QString>& expected,
                                    const QString& target, const std::optional<QString>& cue,
                                    const std::function<void(bool)>& completion) {
    const std::optional<QString> current = engine_.observedSourceID();
    const bool granted = ticket ? engine_.layoutSelectionAuthority.consume(*ticket, uptime(), current)
                                : current && current == expected;
    engine_.pendingLayoutSelection.reset();
    if (!granted) {
        engine_.noteAutomaticSourceSelectionFailed();
        if (!current || current != expected)
            logLine(QStringLiteral("layout: exact TIS отменён — input source изменён до записи"));
        if (completion) completion(false);
        return;
    }
    if (effects_.releaseGateForcesFailure()) {
        engine_.noteAutomaticSourceSelectionFailed();
        logLine(QStringLiteral("layout: exact TIS failure injected by manual-input release gate"));
        if (completion) completion(false);
        return;
    }
    if (!selectNow(target)) return failed(completion);

    if (cue) effects_.playCue(*cue);
    else if (auto lang = ManualInputSourceProfileV1::language(target)) effects_.playCue(*lang);
    engine_.lastOwnSelect = LayoutSwitcher::OwnSelect{target, uptime()};
    if (!LayoutSwitcher::standMode()) {
        // Says where a selection got stuck when the system did not follow it in time.
        std::weak_ptr<bool> alive = alive_;
        MainQueue::shared().after(arrivalCheckDelay, [this, alive, target] {
            auto token = alive.lock();
            if (!token || !*token) return;
            const std::optional<QString> prefs = SystemInputSourcePrefs::selectedSourceID();
            const std::optional<QString> system = engine_.systemSourceID();
            if (prefs == target && system == target) return;
            logLine(QStringLiteral("layout/доезд: просили ") + shortSource(target) + QStringLiteral(", ") +
                    QStringLiteral("настройки говорят ") + shortSource(prefs) + QStringLiteral(", TIS говорит ") +
                    shortSource(system));
        });
    }
    if (engine_.observedSourceID() == target) {
        engine_.ownSelectArrived = true;
        LayoutAppStats::shared().noteFlip();
        if (completion) completion(true);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    MainQueue::shared().after(recheckDelay, [this, alive, target, completion] {
        auto token = alive.lock();
        if (!token || !*token) return;
        if (engine_.observedSourceID() == target) {
            engine_.ownSelectArrived = true;
            LayoutAppStats::shared().noteFlip();
            if (completion) completion(true);
        } else {
            failed(completion);
        }
    });
}

bool LayoutSourceSelection::selectLayout(const QString& language, bool retry, const std::optional<QString>& cue,
                                         std::function<void(bool)> completion) {
    const std::optional<QString> source = ManualInputSourceProfileV1::sourceID(language);
    if (!source) {
        if (completion) completion(false);
        return false;
    }
    return selectExactSource(*source, retry, cue, std::move(completion));
}

std::optional<double> LayoutSourceSelection::fireIdleReselect(const QString& sourceID) {
    QElapsedTimer timer;
    timer.start();
    if (LayoutSwitcher::standMode()) {
        ComposeStage* stage = LayoutSwitcher::stage();
        if (!stage) return std::nullopt;
        stage->reselectSource(sourceID);
        return double(timer.nsecsElapsed()) / 1e6;
    }
    if (!isEnabledSource(sourceID)) return std::nullopt;
    if (!selectNow(sourceID)) return std::nullopt;
    return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace murmelo
