#pragma once
#include "platform/Accessibility.h"

#include <QString>
#include <optional>

namespace murmelo {

// Whether a write into another application's field arrived, and what a repair may do
// about it. Pure decisions over field snapshots; no writes. Units are UTF-16 code units,
// characters are user-perceived characters.
namespace DeliveryRepair {

struct FieldSnapshot {
    QString value;
    std::optional<qsizetype> selStart;
    qsizetype selLength = 0;
    std::optional<QString> placeholder;

    bool caretAtEnd() const { return selLength == 0 && selStart == value.size(); }
    bool operator==(const FieldSnapshot&) const = default;
};

struct EditPacket {
    QString before;
    qsizetype caret = 0;
    QString erased;
    QString insert;

    qsizetype eraseStart() const { return caret - erased.size(); }
    QString prefix() const { return before.left(eraseStart()); }
    QString suffix() const { return before.mid(caret); }
    QString erasedField() const { return prefix() + suffix(); }
    QString expectedField() const { return prefix() + insert + suffix(); }
    bool isConsistent() const;
    bool operator==(const EditPacket&) const = default;
};

struct Action {
    enum Kind { notNeeded, reinsert, appendTail, refuse };
    Kind kind;
    QString payload;
    bool operator==(const Action&) const = default;
};

inline constexpr int minTailMatch = 8;
inline constexpr double repairDelay = 0.75;
inline constexpr double verifyDelay = 1.5;
inline constexpr double editReadDelays[] = {0.15, 0.45, 0.9};

std::optional<FieldSnapshot> snapshotFocusedField();
std::optional<FieldSnapshot> snapshot(const AXElementPtr& el);
std::optional<EditPacket> undoPacket(const FieldSnapshot& before, qsizetype erasing, const QString& inserting);

// How many times the text stands in the value (occurrences that do not overlap).
int occurrences(const QString& value, const QString& text);

// The decision for an inserted text that an audit found missing. A text that already
// stood in the field before the write counts only when it stands there more often now.
Action decide(const QString& expected, const QString& auditValue, const std::optional<FieldSnapshot>& before,
              const std::optional<FieldSnapshot>& fresh, bool userTypedSinceInsert, int attempt);
Action decideEdit(const EditPacket& packet, const std::optional<FieldSnapshot>& fresh, bool userTypedSinceWrite,
                  int attempt);

std::optional<double> loadAvg1();
QString loadAvg1Token();

}  // namespace DeliveryRepair
}  // namespace murmelo
