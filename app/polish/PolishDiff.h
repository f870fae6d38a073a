#pragma once
#include <QString>

#include <vector>

namespace murmelo {

// One polish edit (the text before and after) as a short list of word-level changes for the
// polish card, and a one-line summary of them. Pure functions.
namespace PolishDiff {

enum class Kind {
    word,        // the word changed beyond case and ё, or the words were split or joined
    yo,          // only е/ё differ (and perhaps case)
    caseOnly,    // only letter case differs
    punctuation, // the words are equal; only the text between them changed
};

struct Edit {
    QString before;
    QString after;
    Kind kind = Kind::word;
    bool operator==(const Edit&) const = default;
};

// Word edits pair the words by position; a change in the number of words gives one edit of
// the whole texts, as does a change of punctuation alone.
std::vector<Edit> compute(const QString& before, const QString& after);
// "знаки препинания · регистр: 2 · ё: 1"; word edits are not summarised.
QString summary(const std::vector<Edit>& edits);
int debugWordCount(const QString& text);

}  // namespace PolishDiff
}  // namespace murmelo
