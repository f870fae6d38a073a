#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace murmelo {

// What the system supports for one language.
struct LanguageAbility {
    bool recognition = false;
    bool interfaceShipped = false;
    bool punctuation = false;
    bool textCleanup = false;
    bool layout = false;
    bool modeTriggers = false;
    bool operator==(const LanguageAbility&) const = default;
};

namespace LanguageRegistry {

// The abilities of a code; all false for a code not in the table.
LanguageAbility ability(const QString& code);
// The part before the first "-" or "_", lower-cased.
QString normalized(const QString& code);
// The codes whose abilities satisfy the predicate, sorted ascending.
QStringList languages(const std::function<bool(const LanguageAbility&)>& where);
// True when any ability other than recognition is there.
bool hasExtras(const QString& code);

}  // namespace LanguageRegistry
}  // namespace murmelo
