#pragma once
#include <QList>
#include <QString>

namespace murmelo::TextReplacements {

// The user's rules for recognised speech, one "from = to" a line, stored as one text.
inline constexpr const char* key = "textReplacements";

struct Rule {
    QString from;  // trimmed, never empty
    QString to;    // trimmed, may be empty
    // True when from holds an upper-case character: such a rule matches only that case.
    bool caseSensitive() const;
    bool operator==(const Rule&) const = default;
};

// The stored rule text, or empty.
QString raw();
// Stores the rule text, drops the parsed rules and logs how many rules it holds.
void setRaw(const QString& text);
// The parsed rules of the stored text, parsed once per change. Safe on any thread.
QList<Rule> rules();
void invalidateCache();
QList<Rule> parse(const QString& text);
// The text with every rule applied in order, each on the result of those before it.
QString apply(const QString& text);
QString applyOne(const Rule& rule, const QString& text);

}  // namespace murmelo::TextReplacements
