#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace murmelo {

// Interface text by key; the Russian default is given at the call site and returned when
// the chosen interface language has no entry for the key.
QString L(const QString& key, const QString& ruDefault);
// The localised format filled with the arguments (see formatSpec).
QString L(const QString& key, const QString& ruFormat, const QVariantList& args);

namespace Localization {

// The interface languages that have translations, in order.
const QStringList& shipped();

// The language whose table L reads. Chosen once, at the first lookup: the checkout's table
// named by "MURMELO_UI_LANGUAGE_OVERRIDE" (with "MURMELO_REPO_ROOT"), else the first
// preferred language ("AppleLanguages", else the system's) that the resources hold, else
// Russian, whose texts are the call-site defaults.
QString language();
// Where the table in use was read from (empty when there is none).
QString tablePath();

// Reads a table: lines of "key" = "text"; with /* */ and // comments and the escapes
// \" \\ \n \t \uXXXX. A malformed entry stops the reading; error tells where (also of a
// key given twice, whose later text wins).
QHash<QString, QString> parseTable(const QString& text, QString* error = nullptr);

// Forgets the chosen table so that the next lookup chooses again, with the given list
// standing in for the system's preferred languages (nullopt: the real ones).
void resetForTesting(std::optional<QStringList> systemLanguages = std::nullopt);

}  // namespace Localization
}  // namespace murmelo
