#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// The words after a spoken lead phrase (a voice command's name, a mode trigger): `lower` is
// `trimmed` in lower case, `phrase` is lower case. The phrase must end at a space or a
// separator; the separators around the rest are cut. Nothing when the text does not open
// with the phrase; an empty text when it holds nothing else.
std::optional<QString> afterLeadPhrase(const QString& trimmed, const QString& lower, const QString& phrase);

}  // namespace murmelo
