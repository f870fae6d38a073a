#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// The key packet that turns the stretch a field holds into the polished text: Backspaces from
// the caret back to the first differing character, then everything after it typed again.
// Synthetic input cannot retype a line break, so packets that would have to are refused.
// Counts are user-perceived characters. Pure functions.
namespace PolishTyping {

// Backspace limit of a packet when the caller names none (live polish).
inline constexpr int MAX_KEYS = 24;
// Backspace limit of a manual polish and of the rollback of a crooked landing.
inline constexpr int MAX_KEYS_MANUAL = 200;

struct Plan {
    int backspaces = 0;
    QString insert;
    QString why;
    QString erased;
    bool operator==(const Plan&) const = default;
};

struct Narrowed {
    qsizetype offset = 0;
    qsizetype length = 0;
    QString text;
    bool operator==(const Narrowed&) const = default;
};

// A character whose first scalar ends a line.
bool isLineBreak(const QString& character);
// The packet would have to erase or type a line break.
bool eatsNewline(const QString& have, const QString& want, const QString& gap);
// None when there is nothing to change or no safe packet: text typed after the stretch
// (unless the gap is trusted), or a line break inside the edit.
std::optional<Plan> plan(const QString& have, const QString& want, const QString& gap, bool trustGap = false);
// The UTF-16 offset and length of the differing stretch within have, and its replacement.
Narrowed narrowRange(const QString& have, const QString& want);

// Lengths of the common prefix and suffix of two character lists, the suffix never reaching
// into the prefix of either.
qsizetype commonPrefix(const QStringList& a, const QStringList& b);
qsizetype commonSuffix(const QStringList& a, const QStringList& b, qsizetype prefix);

}  // namespace PolishTyping
}  // namespace murmelo
