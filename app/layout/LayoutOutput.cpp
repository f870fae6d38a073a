#include "layout/LayoutOutput.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/ClipboardPaste.h"
#include "input/SyntheticInputPostGate.h"
#include "platform/MainQueue.h"

namespace murmelo {

namespace {
constexpr quint16 keyCodeReturn = 36;
constexpr quint16 keyCodeDelete = 51;

QString postedOutcome(int n) { return QStringLiteral("posted-events-") + QString::number(n); }

ComposeStage* standStage() { return LayoutSwitcher::stage(); }
}  // namespace

void LayoutOutput::noteWrite() { engine_.screenTruthLastWriteAt = Clock::shared().now(); }

int LayoutOutput::postPair(quint16 keyCode, quint64 flags, const QString& unicode) {
    int posted = 0;
    for (const bool down : {true, false}) {
        KeyEvent e;
        e.keyCode = keyCode;
        e.keyDown = down;
        e.flags = flags;
        e.unicode = unicode;
        e.userData = SYNTHETIC_MARK;
        e.source = KeySourceState::CombinedSession;
        if (SyntheticInputPostGate::post(e)) ++posted;
    }
    return posted;
}

void LayoutOutput::sendKey(quint16 keyCode, quint64 flags) {
    if (LayoutSwitcher::standMode()) {
        if (ComposeStage* stage = standStage()) stage->machineKey(keyCode, flags, rawValue(TextWriteOrigin::layout));
        return;
    }
    std::optional<TextWriteTraceToken> trace;
    if (keyCode == keyCodeReturn && flags == 0)
        trace = TextWriteTrace::begin(QStringLiteral("\n"), TextWriteRoute::keyEvent, TextWriteOrigin::layout);
    const int posted = postPair(keyCode, flags);
    if (trace) TextWriteTrace::finish(*trace, [posted] { return postedOutcome(posted); }, false);
}

std::optional<TextWriteTraceToken> LayoutOutput::sendUnicode(const QString& text, TextWriteOrigin origin) {
    if (text.isEmpty()) return std::nullopt;
    noteWrite();
    if (LayoutSwitcher::standMode()) {
        if (ComposeStage* stage = standStage()) stage->machineInsert(text, rawValue(origin));
        return std::nullopt;
    }
    const TextWriteTraceToken trace = TextWriteTrace::begin(text, TextWriteRoute::directUnicode, origin);
    int posted = 0;
    for (const QString& g : graphemes(text)) posted += postPair(0, 0, g);
    TextWriteTrace::finish(trace, [posted] { return postedOutcome(posted); }, false);
    return trace;
}

void LayoutOutput::eraseByKeys(int count, TextWriteOrigin origin) {
    noteWrite();
    if (LayoutSwitcher::standMode()) {
        if (ComposeStage* stage = standStage()) stage->machineErase(count, rawValue(origin));
        return;
    }
    const TextWriteTraceToken trace = TextWriteTrace::begin(QString(), TextWriteRoute::backspace, origin, count);
    probeFieldBeforeErase(count);
    int posted = 0;
    for (int i = 0; i < count; ++i) posted += postPair(keyCodeDelete, 0);
    TextWriteTrace::finish(trace, [posted] { return postedOutcome(posted); }, false);
}

void LayoutOutput::sendBackspaces(int count, TextWriteOrigin origin) {
    if (count <= 0) return;
    eraseByKeys(count, origin);
}

bool LayoutOutput::deliverViaAX(int count, const QString& text) {
    noteWrite();
    if (LayoutSwitcher::standMode()) {
        // The stand's field takes the replacement itself; success is claimed only when it landed.
        ComposeStage* stage = standStage();
        if (!stage || !stage->hasLiveField()) return false;
        const qsizetype caret = stage->axCaret();
        if (caret < count) return false;
        if (!stage->axReplace(AXRange{caret - count, count}, text, rawValue(TextWriteOrigin::layout))) return false;
    } else {
        const AXElementPtr el = AXText::focused();
        if (!el) return false;
        const std::optional<QString> value = AXText::value(el);
        if (!value) return false;
        const std::optional<AXRange> sel = AXText::selectedRange(el);
        if (!sel) return false;
        if (sel->length != 0 || sel->location < count || sel->location > value->size()) return false;
        const AXRange range{sel->location - count, count};
        if (!AXText::replace(el, range, text, true, TextWriteOrigin::layout)) return false;
    }
    logLine(QStringLiteral("layout/ax: правка записана в поле напрямую (стёрто %1, вписано ").arg(count) + priv(text) +
            QStringLiteral(", ") + gates_.frontAppName() + QStringLiteral(")"));
    return true;
}

TextWriteRoute LayoutOutput::deliver(int count, const QString& text, LayoutSwitcher::UndoTransport transport) {
    if (gates_.usesAXDelivery()) {
        if (deliverViaAX(count, text)) return TextWriteRoute::accessibilitySelectedText;
        gates_.forgetLearnedIfAXRefused();
    }
    if (count >= 1) eraseByKeys(count, TextWriteOrigin::layout);
    if (transport == LayoutSwitcher::UndoTransport::keys) {
        sendUnicode(text, TextWriteOrigin::layout);
        return TextWriteRoute::directUnicode;
    }
    if (!text.isEmpty()) pasteAtomically(text, TextWriteOrigin::layoutUndo);
    return TextWriteRoute::clipboard;
}

bool LayoutOutput::fieldProbeFromEnvironment() {
    static const bool on = qgetenv("MURMELO_LAYOUT_FIELD_PROBE") == "1";
    return on;
}

namespace {
QString unreadable() { return QStringLiteral("НЕ ЧИТАЕТСЯ"); }

QString valueLength(const AXElementPtr& el) {
    const std::optional<QString> value = AXText::value(el);
    return value ? QString::number(graphemeCount(*value)) + QStringLiteral(" симв.") : unreadable();
}
}  // namespace

void LayoutOutput::probeFieldBeforeErase(int count) {
    if (probeSilent()) return;
    const AXElementPtr el = AXText::focused();
    if (!el) {
        logLine(QStringLiteral("layout/поле: собираюсь стереть %1 — фокусного элемента AX НЕТ ").arg(count) +
                QStringLiteral("(NSWorkspace зовёт переднее «") + gates_.frontAppName() + QStringLiteral("»)"));
        return;
    }
    const std::optional<AXRange> sel = AXText::selectedRange(el);
    const QString selection =
        sel ? QString::number(sel->location) + QLatin1Char('+') + QString::number(sel->length) : unreadable();
    logLine(QStringLiteral("layout/поле: собираюсь стереть %1 | роль ").arg(count) + AXText::role(el) +
            QStringLiteral(" | выделение ") + selection + QStringLiteral(" | значение ") + valueLength(el) +
            QStringLiteral(" | ") + AXText::writability(el) + QStringLiteral(" | приложение: по NSWorkspace «") +
            gates_.frontAppName() + QStringLiteral("», по фокусу «") +
            LayoutAppGates::appName(el).value_or(QStringLiteral("?")) + QStringLiteral("»"));
}

void LayoutOutput::probeExcludedFieldCapability() {
    if (probeSilent()) return;
    const double now = Clock::shared().uptime();
    if (excludedProbeAt_ && now - *excludedProbeAt_ < excludedProbeInterval) return;
    excludedProbeAt_ = now;
    const AXElementPtr el = AXText::focused();
    if (!el) {
        logLine(QStringLiteral("layout/поле-исключение: фокусного элемента AX нет"));
        return;
    }
    logLine(QStringLiteral("layout/поле-исключение: роль ") + AXText::role(el) + QStringLiteral(" | значение ") +
            valueLength(el) + QStringLiteral(" | ") + AXText::writability(el) +
            QStringLiteral(" | приложение по фокусу «") + gates_.focusedApp().name + QStringLiteral("»"));
}

void LayoutOutput::pasteAtomically(const QString& text, TextWriteOrigin origin) {
    noteWrite();
    if (LayoutSwitcher::standMode()) {
        if (ComposeStage* stage = standStage()) stage->machinePaste(text, rawValue(origin));
        return;
    }
    pasteViaClipboard(text, origin);
}

}  // namespace murmelo
