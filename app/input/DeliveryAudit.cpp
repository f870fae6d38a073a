#include "input/DeliveryAudit.h"

#include "platform/Accessibility.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/ClipboardPaste.h"
#include "input/DeliveryRepairCard.h"
#include "platform/MainQueue.h"


namespace murmelo::DeliveryAudit {
namespace {

quint64 g_typedGen = 0;
bool g_correctionSink = false;


void observe(const std::optional<TextWriteTraceToken>& trace, const QString& message) {
    if (trace) TextWriteTrace::observe(*trace, [&] { return message; });
}

QString excerpt(const QStringList& chars, qsizetype from) { return chars.mid(from, 28).join(QString()); }

struct Inputs {
    QString expected;
    QString app;
    std::optional<TextWriteTraceToken> trace;
    std::optional<DeliveryRepair::FieldSnapshot> before;
    int attempt;
};

void repairStep(const Inputs& in, const QString& auditValue, quint64 typedAtInsert) {
    const QString load = DeliveryRepair::loadAvg1Token();
    const auto fresh = DeliveryRepair::snapshotFocusedField();
    const bool typed = g_typedGen != typedAtInsert;
    const auto action = DeliveryRepair::decide(in.expected, auditValue, in.before, fresh, typed, in.attempt);
    const QString chars = QString::number(graphemeCount(action.payload));
    switch (action.kind) {
    case DeliveryRepair::Action::notNeeded:
        observe(in.trace, QStringLiteral("delivery-repair=not-needed reason=") + action.payload + load);
        logLine(QStringLiteral("insert-repair: not needed — ") + action.payload + QStringLiteral(" (") + in.app + ')');
        return;
    case DeliveryRepair::Action::refuse:
        observe(in.trace, QStringLiteral("delivery-repair=refused reason=") + action.payload + load);
        logLine(QStringLiteral("insert-repair: refused — ") + action.payload +
                QStringLiteral("; the card offers a manual reinsert (") + in.app + ')');
        DeliveryRepairCardController::shared().show(in.expected, in.app, DeliveryRepairCardController::Kind::dictation);
        return;
    case DeliveryRepair::Action::reinsert:
        observe(in.trace, QStringLiteral("delivery-repair=reinsert chars=") + chars + load);
        logLine(QStringLiteral("insert-repair: full loss — pasting ") + chars + QStringLiteral(" chars again via clipboard (") +
                in.app + ')' + load);
        break;
    case DeliveryRepair::Action::appendTail:
        observe(in.trace, QStringLiteral("delivery-repair=append-tail chars=") + chars + load);
        logLine(QStringLiteral("insert-repair: truncated delivery — pasting the missing ") + chars +
                QStringLiteral(" chars via clipboard (") + in.app + ')' + load);
        break;
    }
    pasteViaClipboard(action.payload, TextWriteOrigin::dictationRepair);
    // The follow-up audit counts against the field as it stood just before the repair, so
    // a repair that lands away from the end is still seen.
    auditDictationDelivery(in.expected, in.app, in.trace, fresh, in.attempt + 1, DeliveryRepair::verifyDelay);
}

void audit(const Inputs& in, quint64 typedAtSchedule) {
    const QString load = DeliveryRepair::loadAvg1Token();
    if (g_typedGen != typedAtSchedule) {
        observe(in.trace, QStringLiteral("delivery-audit=skipped-user-typed") + load);
        return;
    }
    const AXElementPtr el = AXText::focused();
    const std::optional<QString> value = el ? AXText::value(el) : std::nullopt;
    // Many toolkits show an empty value for a field whose text they do not expose; only a
    // backend that knows the field is really empty makes an empty reading a reading.
    const bool emptyIsRead = el && value && value->isEmpty() && Accessibility::shared().reportsEmptyValueReliably(*el);
    if (!value || (value->isEmpty() && !emptyIsRead)) {
        observe(in.trace, QStringLiteral("delivery-audit=unreadable") + load);
        return;
    }
    const QStringList e = graphemes(in.expected);
    const QStringList all = graphemes(*value);
    const QStringList tail = all.mid(std::max<qsizetype>(0, all.size() - e.size() - 24));
    // A text that stood in the field before the write (a short "да") proves nothing by its
    // presence: with a reading from before, the write arrived when the text stands there
    // more often than it did; wherever the caret put it.
    const bool arrived = in.before ? DeliveryRepair::occurrences(*value, in.expected) >
                                         DeliveryRepair::occurrences(in.before->value, in.expected)
                                   : tail.join(QString()).contains(in.expected);
    if (arrived) {
        observe(in.trace, QStringLiteral("delivery-audit=confirmed") + load);
        if (in.attempt > 0)
            logLine(QStringLiteral("insert-repair: verified — the repaired text is in the field (") + in.app + ')' + load);
        return;
    }
    const QStringList t = tail.mid(std::max<qsizetype>(0, tail.size() - e.size()));
    qsizetype i = 0;
    while (i < e.size() && i < t.size() && e[i] == t[i]) ++i;
    const qsizetype s = i >= 13 ? i - 12 : 0;
    observe(in.trace, QStringLiteral("delivery-audit=mismatch first=%1 expected=%2 actual=%3").arg(i).arg(e.size()).arg(t.size()) + load);
    logLine(QStringLiteral("⚠ вставка/audit: в поле легло НЕ ТО, что впечатали (") + in.app + QStringLiteral(", ждали ") +
            QString::number(e.size()) + QStringLiteral(" симв., в хвосте ") + QString::number(t.size()) +
            QStringLiteral(") — первое расхождение на символе ") + QString::number(i) + QStringLiteral(": ждали ") +
            priv(excerpt(e, s)) + QStringLiteral(" пришло ") + priv(excerpt(t, s)) + load);
    const QString auditValue = *value;
    MainQueue::shared().after(DeliveryRepair::repairDelay,
                              [in, auditValue, typedAtSchedule] { repairStep(in, auditValue, typedAtSchedule); });
}

}  // namespace

quint64 typedGen() { return g_typedGen; }
void noteUserTyped() { ++g_typedGen; }
bool hasCorrectionSink() { return g_correctionSink; }
void setCorrectionSink(bool installed) { g_correctionSink = installed; }

void auditDictationDelivery(const QString& expected, const QString& app, std::optional<TextWriteTraceToken> trace,
                            std::optional<DeliveryRepair::FieldSnapshot> before, int attempt, double delay) {
    if (g_correctionSink || expected.isEmpty()) return;
    const quint64 typed = g_typedGen;
    Inputs in{expected, app, std::move(trace), std::move(before), attempt};
    MainQueue::shared().after(delay, [in, typed] { audit(in, typed); });
}

}  // namespace murmelo::DeliveryAudit
