#pragma once
#include <QString>

#include <optional>

namespace murmelo {

// The working vocabulary: terms and jargon shipped with the layout models ("ru_terms.tsv")
// that polish never changes. A term of four characters or more also covers the words that
// start with it, and those that start with it less its last letter, so inflected forms are
// covered too. Read once per process on first use.
namespace PolishTerms {

constexpr int MIN_STEM = 4;

// The word, already lower-cased by the caller, is a term or starts with one's stem.
bool knows(const QString& word);
// The number of distinct terms.
int count();

// Forgets the vocabulary so the next question reads it again, from the given file when one
// is named.
void resetForTesting(std::optional<QString> path = std::nullopt);

}  // namespace PolishTerms
}  // namespace murmelo
