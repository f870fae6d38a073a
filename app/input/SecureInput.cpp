#include "input/SecureInput.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "base/Regex.h"
#include "input/AXText.h"
#include "platform/MainQueue.h"
#include "platform/SecureEventInput.h"
#include "platform/Workspace.h"

#include <cmath>

namespace murmelo::SecureInput {
namespace {

struct State {
    bool flagActive = false;
    std::optional<QDateTime> enabledAt;
    bool polling = false;
    TimerHandle poller;
    bool suppressedGestureLogged = false;
    std::function<void(bool)> observer;
    unsigned generation = 0;  // polls of an earlier start stop after a reset
};

State& state() {
    static State s;
    return s;
}

void poll(unsigned generation) {
    State& s = state();
    if (generation != s.generation) return;
    apply(SecureEventInput::shared().isEnabled());
    s.poller = MainQueue::shared().after(pollInterval, [generation] { poll(generation); });
}

void logHolderAsync() {
    // The registry dump is slow; it is read after the state change has been applied.
    MainQueue::shared().post([] {
        const auto text = SecureEventInput::shared().holderRegistryText();
        if (!text) return;
        const auto pid = holderPid(*text);
        if (!pid) return;
        const auto app = Workspace::shared().runningApplication(*pid);
        const QString name = app && !app->localizedName.isEmpty() ? app->localizedName
                                                                  : QStringLiteral("pid ") + QString::number(*pid);
        logLine(QStringLiteral("скрытый ввод: держатель по ioreg - ") + name + QStringLiteral(" (pid ") +
                QString::number(*pid) + QStringLiteral("; ") +
                QStringLiteral("свойство залипает на ПЕРВОМ включившем за сессию, имя только для разбора)"));
    });
}

}  // namespace

void start() {
    State& s = state();
    if (s.polling) return;
    s.polling = true;
    const unsigned generation = s.generation;
    MainQueue::shared().post([generation] { poll(generation); });
}

bool flagActive() { return state().flagActive; }
std::optional<QDateTime> enabledAt() { return state().enabledAt; }

void apply(bool active) {
    State& s = state();
    if (active == s.flagActive) return;
    s.flagActive = active;
    s.suppressedGestureLogged = false;
    if (!active) {
        const qint64 held = s.enabledAt ? qint64(std::floor(s.enabledAt->msecsTo(Clock::shared().now()) / 1000.0)) : 0;
        s.enabledAt.reset();
        logLine(QStringLiteral("скрытый ввод: снят (держался ~") + QString::number(std::max<qint64>(held, 0)) +
                QStringLiteral(" с)"));
    } else {
        s.enabledAt = Clock::shared().now();
        logLine(QStringLiteral("скрытый ввод: ВКЛЮЧЁН - система прячет клавиши от перехвата; правки печати молчат, "
                               "диктовка на модификаторе работает, вставка решается по полю под кареткой"));
        logHolderAsync();
    }
    if (s.observer) s.observer(s.flagActive);
}

void noteSuppressedDoubleShift() {
    State& s = state();
    if (s.suppressedGestureLogged) return;
    s.suppressedGestureLogged = true;
    logLine(QStringLiteral("скрытый ввод: двойной ⇧ разоружён - клавиши между тапами не видны, «чистый» двойной тап "
                           "недоказуем"));
}

FieldProbe probeFocusedField() {
    const AXElementPtr el = AXText::focusedForKeyPath();
    if (!el) return FieldProbe::unknown;
    const QVariant role = AXText::attr(el, QStringLiteral("AXRole"));
    if (role.typeId() != QMetaType::QString) return FieldProbe::unknown;
    const QString secureRole = QStringLiteral("AXSecureTextField");
    if (role.toString() == secureRole) return FieldProbe::secure;
    const QVariant subrole = AXText::attr(el, QStringLiteral("AXSubrole"));
    if (subrole.typeId() != QMetaType::QString) return FieldProbe::normal;
    return subrole.toString() == secureRole ? FieldProbe::secure : FieldProbe::normal;
}

WriteVerdict decide(bool active, FieldProbe field) {
    switch (field) {
    case FieldProbe::secure: return WriteVerdict::denySecureField;
    case FieldProbe::normal: return WriteVerdict::allow;
    case FieldProbe::unknown: return active ? WriteVerdict::denyBlindAX : WriteVerdict::allow;
    }
    return WriteVerdict::allow;
}

WriteVerdict pasteVerdict() { return decide(flagActive(), probeFocusedField()); }

QString menuTitle() {
    return L(QStringLiteral("menu.secureInput"),
             QStringLiteral("Скрытый ввод: система прячет клавиатуру — правки молчат, диктовка работает"));
}

QString tooltip() { return flagActive() ? menuTitle() : QString(); }

void setPresentationObserver(std::function<void(bool)> observer) { state().observer = std::move(observer); }

std::optional<qint64> holderPid(const QString& registryText) {
    static const Regex re = Regex::compile(QStringLiteral("\"kCGSSessionSecureInputPID\"=(\\d+)"));
    const auto match = re.firstMatch(registryText);
    if (!match) return std::nullopt;
    const QString matched = match->captured(registryText);
    qsizetype first = 0;
    while (first < matched.size() && !matched[first].isDigit()) ++first;
    bool ok = false;
    const qint32 pid = matched.mid(first).toInt(&ok);
    if (!ok) return std::nullopt;
    return pid;
}

void resetForTesting() {
    State& s = state();
    s.poller.cancel();
    const unsigned generation = s.generation + 1;
    s = State{};
    s.generation = generation;
}

}  // namespace murmelo::SecureInput
