#pragma once
#include <QString>
#include <QtGlobal>

#include <optional>

namespace murmelo::RuForms {

// The Russian word-form lexicon ("ru_forms.fst"), opened on the first question and kept
// for the life of the process. Without the file every answer is no.
bool isReady();
quint64 count();
// Case is folded; ё and е are different letters; any character outside the Russian
// alphabet makes a word no form.
bool contains(const QString& word);

// Closes the lexicon so that the next question opens it again; `bundleResources` stands in
// for the bundle's resources folder (an empty text: no resources folder).
void resetForTesting(std::optional<QString> bundleResources = std::nullopt);

}  // namespace murmelo::RuForms
