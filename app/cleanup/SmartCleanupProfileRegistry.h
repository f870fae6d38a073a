#pragma once
#include "cleanup/SmartCleanupLanguageProfile.h"

#include <QList>
#include <QString>

#include <optional>

namespace murmelo {

// Which language profiles a dictation gets.
namespace SmartCleanupProfileRegistry {

// Russian, then English; built once.
const QList<SmartCleanupLanguageProfile>& defaultProfiles();

// The code of a recogniser's language as the profiles know it: the primary subtag of a tag
// ("ru-RU" and "RU" give "ru", "en_GB" gives "en") or a name as the recognition server reports
// it ("russian", "English"). Every reader of the reply's language goes through here.
QString languageCode(const QString& language);

// All default profiles without a language; otherwise the profile of the language's code, or
// none when the text contradicts the language or no profile has that code.
QList<SmartCleanupLanguageProfile> profiles(const std::optional<QString>& language, const std::optional<QString>& text);

// Whether the text's language guess leaves room for `code`: "ru" and "en" need text that is
// not clearly another language; any other code always agrees.
bool agreesWithText(const QString& code, const QString& text);

}  // namespace SmartCleanupProfileRegistry
}  // namespace murmelo
