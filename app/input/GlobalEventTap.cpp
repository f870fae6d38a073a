#include "input/GlobalEventTap.h"

#include "base/BuildStamp.h"
#include "base/Log.h"
#include "base/MurmeloRuntimeSafety.h"
#include "input/ClipboardManager.h"
#include "input/DeliveryAudit.h"
#include "input/HotkeyDef.h"
#include "input/InputEventFlightRecorder.h"
#include "input/OwnedChords.h"
#include "input/SecureInput.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TapConsumers.h"
#include "input/TapFuse.h"
#include "input/TextWriteTrace.h"
#include "platform/MainQueue.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace murmelo {

namespace RightShiftGesture {

Route route(qint64 keyCode, bool shiftDown, qint64 dictationCode, std::optional<qint64> commandCode,
            std::optional<qint64> polishCode, bool polishModifierDown, bool secureInput) {
    using K = Route::Kind;
    if (keyCode == rightShiftCode && dictationCode == rightShiftCode) return {};
    if (keyCode == rightShiftCode && commandCode == rightShiftCode) return {};
    if (keyCode == rightShiftCode && secureInput) return {K::suppressedSecureInput};
    if (keyCode == rightShiftCode) return {K::rightShift, shiftDown, polishCode == rightShiftCode};
    if (!polishCode) return {};
    if (keyCode != *polishCode) return {};
    if (secureInput) return {K::suppressedSecureInput};
    return {K::polish, polishModifierDown};
}

}  // namespace RightShiftGesture

namespace GlobalInputEventPolicy {
bool isPhysicalLeftCommandChange(qint64 keyCode, bool synthetic) { return keyCode == leftCommandKeyCode && !synthetic; }
bool isPhysicalCommandShortcut(bool commandDown, bool synthetic) { return commandDown && !synthetic; }
}  // namespace GlobalInputEventPolicy

namespace GlobalEventTap {
namespace {

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;
constexpr qint64 kKeyZ = 6;
constexpr quint64 kAllModifiers = 0x9E0000;
constexpr double kGuardInterval = 2.0;

struct State {
    bool installed = false;
    TimerHandle guard;
    unsigned generation = 0;
    // Press and release per key, so that a held same-kind modifier never keeps a hotkey down.
    HotkeyKeyState dictationKeys, commandKeys, polishKeys;
};

State& state() {
    static State s;
    return s;
}

bool mutationAllowed() {
    return MurmeloRuntimeSafety::allowsGlobalInputMutation(MurmeloRuntimeSafety::isQuickActionsSmokeMode());
}

double mainScreenMaxY() {
    const auto screens = QGuiApplication::screens();
    return screens.isEmpty() ? 0.0 : double(screens.first()->geometry().height());
}

void post(std::function<void()> fn) { MainQueue::shared().post(std::move(fn)); }

bool onNotification(const InputEvent& event) {
    const auto reason = event.type == InputEventType::tapDisabledByTimeout ? TapFuse::Reason::timeout
                                                                           : TapFuse::Reason::userInput;
    if (TapFuse::shouldReEnable(reason, Clock::shared().uptime()) && EventTap::shared().exists()) {
        EventTap::shared().setEnabled(true);
        logLine(QStringLiteral("tap пере-включён"));
    }
    return true;
}

bool onKeyDown(const InputEvent& event, bool synthetic, double now) {
    TapQuickActions& qa = TapQuickActions::shared();
    if (qa.resultCardIsKey()) return true;
    const bool mutation = mutationAllowed();
    if (mutation && GlobalInputEventPolicy::isPhysicalCommandShortcut((event.flags & kCommand) != 0, synthetic)) {
        if (ClipboardManager::shared().cancelTemporaryLeaseForUserCommand())
            logLine(QStringLiteral("буфер: физический ⌘-шорткат - внутренняя запись отменена, содержимое восстановлено немедленно"));
        TapLayoutSwitcher::shared().noteUserShortcut();
    }
    if (qa.keyDown(event.keyCode, event.flags, synthetic)) {
        SwallowedKeys::noteSwallowedDown(event.keyCode, now);
        return false;
    }
    if (!mutation) return true;
    TapLayoutSwitcher& switcher = TapLayoutSwitcher::shared();
    if (!synthetic) {
        if (event.keyCode == kKeyZ && (event.flags & kCommand) && (event.flags & kOption)) {
            TapPolish::shared().revertLast();
            SwallowedKeys::noteSwallowedDown(kKeyZ, now);
            return false;
        }
        TapTypingStats::shared().note(event.timestamp, event.keyCode, event.flags);
        DeliveryAudit::noteUserTyped();
        switcher.noteRealKeyDown();
        TapMeetingHotkey::shared().noteRealKeyDown();
        switcher.notePolishLiveTyping();
        if (event.keyCode == 49 && (event.flags & (kCommand | kOption | kControl)) == 0) switcher.noteSpaceTyped();
    }
    if (switcher.handleKeyDown(event)) {
        SwallowedKeys::noteSwallowedDown(event.keyCode, now);
        return false;
    }
    return true;
}

bool onKeyUp(const InputEvent& event, bool synthetic, double now) {
    TapQuickActions& qa = TapQuickActions::shared();
    if (qa.resultCardIsKey()) return true;
    qa.keyUp(event.keyCode, event.flags, synthetic);
    if (synthetic) return true;
    return !SwallowedKeys::shouldSwallowUp(event.keyCode, now);
}

void onFlagsChanged(const InputEvent& event, bool synthetic) {
    if (!mutationAllowed()) return;
    State& s = state();
    const qint64 code = event.keyCode;
    const bool commandDown = (event.flags & kCommand) != 0;
    if (GlobalInputEventPolicy::isPhysicalLeftCommandChange(code, synthetic)) {
        if (commandDown) {
            if (ClipboardManager::shared().cancelTemporaryLeaseForUserCommand())
                logLine(QStringLiteral("буфер: физический ⌘ - внутренняя запись отменена, содержимое восстановлено немедленно"));
            TapQuickActions::shared().dismiss();
        }
        TapLayoutSwitcher::shared().noteLeftCommandChanged(commandDown);
    }

    const HotkeyDef& d = activeHotkey();
    const auto& c = activeCommandHotkey();
    const auto& p = activePolishHotkey();
    if (code == d.code) {
        const bool down = s.dictationKeys.isDown(d, code, event.flags);
        if (down) {
            TapMeetingHotkey::shared().noteDictationKeyDown((event.flags & ~d.mask & kAllModifiers) != 0);
            post([] { TapDictation::shared().startRec(false); });
        } else {
            TapMeetingHotkey::shared().noteDictationKeyUp();
            TapDictation::shared().noteKeyUp();
            post([] { TapDictation::shared().stopRec(); });
        }
    } else if (c && code == c->code) {
        const bool down = s.commandKeys.isDown(*c, code, event.flags);
        if (!down) TapDictation::shared().noteKeyUp();
        post([down] {
            if (down) TapDictation::shared().startRec(true);
            else TapDictation::shared().stopRec();
        });
    }

    bool polishDown = false;
    if (p && code == p->code) polishDown = s.polishKeys.isDown(*p, code, event.flags);
    using K = RightShiftGesture::Route::Kind;
    const auto route = RightShiftGesture::route(code, (event.flags & kShift) != 0, d.code,
                                                c ? std::optional<qint64>(c->code) : std::nullopt,
                                                p ? std::optional<qint64>(p->code) : std::nullopt, polishDown,
                                                SecureInput::flagActive());
    switch (route.kind) {
    case K::rightShift:
        post([route] { TapLayoutSwitcher::shared().noteRightShift(route.down, route.polishBound); });
        break;
    case K::polish:
        post([route] {
            if (route.down) TapLayoutSwitcher::shared().notePolishDown();
            else TapLayoutSwitcher::shared().notePolishUp();
        });
        break;
    case K::suppressedSecureInput: post([] { SecureInput::noteSuppressedDoubleShift(); }); break;
    case K::none: break;
    }
}

void guardTick(unsigned generation) {
    State& s = state();
    if (generation != s.generation) return;
    s.guard = MainQueue::shared().after(kGuardInterval, [generation] { guardTick(generation); });
    const double now = Clock::shared().uptime();
    if (!TapFuse::mayRearm(now)) return;
    SwallowedKeys::sweepExpired(now);
    EventTap& tap = EventTap::shared();
    if (tap.exists()) {
        if (!tap.isEnabled()) {
            tap.setEnabled(true);
            logLine(QStringLiteral("guard: tap был выключен — поднял"));
        }
    } else {
        installTap();
    }
}

}  // namespace

QPointF appKitPoint(QPointF cg, double maxY) { return QPointF(cg.x(), maxY - cg.y()); }
QRectF appKitRect(const QRectF& r, double maxY) { return QRectF(r.x(), maxY - r.y() - r.height(), r.width(), r.height()); }

bool installTap() {
    if (!EventTap::shared().create(tapCallback)) {
        logLine(QStringLiteral("НЕ удалось создать event-tap (нет прав Accessibility/Input Monitoring?)"));
        return false;
    }
    state().installed = true;
    // The revert chord of polish marks must not reach the focused application as well.
    OwnedChords::grab();
    logLine(QStringLiteral("сборка: ") + BuildStamp::line());
    const TapPolish& polish = TapPolish::shared();
    const QString suffix = !TapPolish::isPolishEnabled()     ? QStringLiteral(" (полировка ВЫКЛ)")
                           : polish.isPolishLiveEnabled() ? QStringLiteral(" (живая ВКЛ)")
                                                          : QString();
    logLine(QStringLiteral("event-tap установлен · диктовка: ") + activeHotkey().name + QStringLiteral(" · команды: ") +
            commandHotkeyName() + QStringLiteral(" · полировка: ") + polishHotkeyName() + suffix);
    return true;
}

void startTapGuard() {
    State& s = state();
    const unsigned generation = s.generation;
    s.guard = MainQueue::shared().after(kGuardInterval, [generation] { guardTick(generation); });
}

bool tapCallback(const InputEvent& event) {
    const InputEventType type = event.type;
    if (type == InputEventType::tapDisabledByTimeout || type == InputEventType::tapDisabledByUserInput)
        return onNotification(event);

    // The wall time costs a local-time conversion: only a recorder that keeps events reads it.
    if (TextWriteTrace::isEnabled()) InputEventFlightRecorder::shared().observe(type, event, Clock::shared().now());
    const double now = Clock::shared().uptime();
    if (TapFuse::heavyLayersSuspended(now) && type != InputEventType::flagsChanged) return true;

    const bool synthetic = event.userData == SYNTHETIC_MARK;
    switch (type) {
    case InputEventType::leftMouseDown:
    case InputEventType::rightMouseDown:
    case InputEventType::otherMouseDown: {
        const bool left = type == InputEventType::leftMouseDown;
        const QPointF at = event.location;
        post([left, at] {
            TapLayoutSwitcher::shared().noteCursorMoved();
            if (left) TapQuickActions::shared().mouseDown(appKitPoint(at, mainScreenMaxY()));
            else TapQuickActions::shared().dismiss();
        });
        return true;
    }
    case InputEventType::leftMouseUp: {
        const QPointF at = event.location;
        const qint64 clicks = event.clickState;
        post([at, clicks] { TapQuickActions::shared().mouseUp(appKitPoint(at, mainScreenMaxY()), clicks); });
        return true;
    }
    case InputEventType::scrollWheel:
        post([] {
            const QPointF mouse = appKitPoint(QCursor::pos(), mainScreenMaxY());
            if (!TapQuickActions::shared().resultCardContains(mouse, 0)) TapQuickActions::shared().dismiss();
        });
        return true;
    case InputEventType::keyDown: return onKeyDown(event, synthetic, now);
    case InputEventType::keyUp: return onKeyUp(event, synthetic, now);
    case InputEventType::flagsChanged: onFlagsChanged(event, synthetic); return true;
    default: return true;
    }
}

void resetForTesting() {
    State& s = state();
    s.guard.cancel();
    const unsigned generation = s.generation + 1;
    s = State{};
    s.generation = generation;
    OwnedChords::resetForTesting();
}

}  // namespace GlobalEventTap
}  // namespace murmelo
