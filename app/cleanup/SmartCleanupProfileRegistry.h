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

// All default profiles without a language; otherwise the profile of the language's primary
// subtag ("ru-RU", "en_GB"), or none when the text contradicts the language or no profile
// has that id.
QList<SmartCleanupLanguageProfile> profiles(const std::optional<QString>& language, const std::optional<QString>& text);

// Whether the text's language guess leaves room for `code`: "ru" and "en" need text that is
// not clearly another language; any other code always agrees.
bool agreesWithText(const QString& code, const QString& text);

}  // namespace SmartCleanupProfileRegistry
}  // namespace murmelo
