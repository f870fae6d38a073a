#include "input/DeliveryRepair.h"

#include "base/Graphemes.h"
#include "input/AXText.h"

#include <cstdlib>

namespace murmelo::DeliveryRepair {
namespace {


QString join(const QStringList& chars, qsizetype from, qsizetype count = -1) { return chars.mid(from, count).join(QString()); }

Action refuse(const char* reason) { return {Action::refuse, QString::fromLatin1(reason)}; }
Action notNeeded(const char* reason) { return {Action::notNeeded, QString::fromLatin1(reason)}; }

}  // namespace

bool EditPacket::isConsistent() const {
    return caret >= 0 && caret <= before.size() && eraseStart() >= 0 && before.mid(eraseStart(), erased.size()) == erased;
}

int occurrences(const QString& value, const QString& text) {
    if (text.isEmpty()) return 0;
    int n = 0;
    for (qsizetype at = value.indexOf(text); at != -1; at = value.indexOf(text, at + text.size())) ++n;
    return n;
}

std::optional<FieldSnapshot> snapshot(const AXElementPtr& el) {
    if (!el) return std::nullopt;
    auto value = AXText::value(el);
    if (!value) return std::nullopt;
    FieldSnapshot s;
    s.value = *value;
    if (auto range = AXText::selectedRange(el)) {
        s.selStart = range->location;
        s.selLength = range->length;
    }
    s.placeholder = AXText::placeholder(el);
    return s;
}

std::optional<FieldSnapshot> snapshotFocusedField() { return snapshot(AXText::focused()); }

std::optional<EditPacket> undoPacket(const FieldSnapshot& before, qsizetype erasing, const QString& inserting) {
    if (erasing < 0 || before.selLength != 0 || !before.selStart) return std::nullopt;
    const qsizetype c = *before.selStart;
    if (c > before.value.size() || c < erasing) return std::nullopt;
    return EditPacket{before.value, c, before.value.mid(c - erasing, erasing), inserting};
}

Action decide(const QString& expected, const QString& auditValue, const std::optional<FieldSnapshot>& before,
              const std::optional<FieldSnapshot>& fresh, bool userTypedSinceInsert, int attempt) {
    if (attempt != 0) return refuse("second-repair-forbidden");
    if (userTypedSinceInsert) return refuse("user-typed");
    if (!fresh) return refuse("field-unreadable");
    // Presence alone proves nothing when the same text stood there before the write ("ok",
    // "да"): it arrived late only if it stands there more often than before.
    const int had = before ? occurrences(before->value, expected) : 0;
    if (occurrences(fresh->value, expected) > had) return notNeeded("text-already-in-field");
    if (fresh->value != auditValue) return refuse("field-changed-since-audit");

    const QString trimmed = fresh->value.trimmed();
    const bool showsPlaceholder = fresh->placeholder && !fresh->placeholder->trimmed().isEmpty() &&
                                  fresh->placeholder->trimmed() == trimmed;
    const bool unchanged = before && before->value == fresh->value && before->selStart == fresh->selStart &&
                           before->selLength == fresh->selLength;
    if (trimmed.isEmpty() || showsPlaceholder || unchanged) return {Action::reinsert, expected};

    if (fresh->caretAtEnd()) {
        const QStringList e = graphemes(expected);
        if (before) {
            if (before->caretAtEnd() || before->value.isEmpty()) {
                const QStringList was = graphemes(before->value), now = graphemes(fresh->value);
                if (now.size() > was.size() && fresh->value.startsWith(before->value)) {
                    const qsizetype d = now.size() - was.size();
                    if (d < e.size() && join(now, was.size()) == join(e, 0, d)) return {Action::appendTail, join(e, d)};
                }
            }
        } else {
            for (qsizetype k = e.size() - 1; k >= minTailMatch; --k)
                if (fresh->value.endsWith(join(e, 0, k))) return {Action::appendTail, join(e, k)};
        }
    }
    return refuse("field-holds-other-text");
}

Action decideEdit(const EditPacket& packet, const std::optional<FieldSnapshot>& fresh, bool userTypedSinceWrite,
                  int attempt) {
    if (!packet.isConsistent()) return refuse("packet-inconsistent");
    if (!fresh) return refuse("field-unreadable");
    const QString& value = fresh->value;
    if (value == packet.before) return notNeeded("packet-never-landed");
    if (value.startsWith(packet.prefix() + packet.insert)) return notNeeded("edit-landed");
    if (value.startsWith(packet.before + packet.insert)) return refuse("packet-landed-crooked");
    if (value.startsWith(packet.before) && userTypedSinceWrite) return notNeeded("packet-never-landed");
    if (attempt != 0) return refuse("second-repair-forbidden");
    if (userTypedSinceWrite) return refuse("user-typed");

    const QString erasedField = packet.erasedField();
    const QString erasedTrimmed = erasedField.trimmed();
    const bool placeholderOnly = erasedTrimmed.isEmpty() && fresh->placeholder && !fresh->placeholder->trimmed().isEmpty() &&
                                 fresh->placeholder->trimmed() == value.trimmed();
    if (value == erasedField || placeholderOnly) {
        const bool atErasePoint = fresh->selStart ? (fresh->selLength == 0 && *fresh->selStart == packet.eraseStart())
                                                  : (erasedTrimmed.isEmpty() && packet.eraseStart() == 0);
        if (atErasePoint) return {Action::reinsert, packet.insert};
        return refuse("caret-not-at-erase-point");
    }
    const qsizetype d = value.size() - erasedField.size();
    if (d > 0 && d < packet.insert.size() && fresh->selLength == 0 && fresh->selStart == packet.eraseStart() + d &&
        packet.prefix() + packet.insert.left(d) + packet.suffix() == value)
        return {Action::appendTail, packet.insert.mid(d)};
    return refuse("field-holds-other-text");
}

std::optional<double> loadAvg1() {
    double load[1];
    if (::getloadavg(load, 1) < 1) return std::nullopt;
    return load[0];
}

QString loadAvg1Token() {
    auto l = loadAvg1();
    if (!l) return {};
    return QStringLiteral(" load1=") + QString::number(*l, 'f', 2);
}

}  // namespace murmelo::DeliveryRepair
