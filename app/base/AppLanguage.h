#pragma once
#include <QString>
#include <QList>

namespace murmelo::AppLanguage {

inline constexpr const char* key = "ondrix.interfaceLanguage";
inline constexpr const char* system = "system";

// One selectable interface language.
struct Choice {
    QString code;          // two-letter code, or "system"
    QString fallbackName;  // shown when the platform has no name for the code
    bool available = false;  // the language ships a translation
    bool operator==(const Choice&) const = default;

    // The name shown in the settings.
    QString title() const;
};

// "system" followed by the 27 languages in the settings' order.
const QList<Choice>& choices();
// The effective stored choice: a shipped code, or "system".
QString current();
// Stores the choice (and the preferred-language list the interface table is chosen by);
// true when the effective choice changed. Unknown or unshipped codes are refused.
bool select(const QString& code);

}  // namespace murmelo::AppLanguage
