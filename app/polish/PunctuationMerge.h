#pragma once
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

namespace murmelo {

// Decides which of the corrector's edits reach the user's text: aligns the human text and
// the model's rewrite word by word and keeps the human's words, taking from the model only
// punctuation and spacing between words, letter case, ё for е and hyphen joins (and, when
// allowed, splitting a run-together word or replacing a misspelt one). A final check throws
// the whole merge away when the result no longer carries the human's words.
namespace PunctuationMerge {

// A word and its UTF-16 range [start, end) in the text it came from.
struct Word {
    QString text;
    int start = 0;
    int end = 0;
};

struct Result {
    QString text;             // the merge when applied, else the raw text untouched
    qint64 rejectedWords = 0; // refused word edits; on a failed final check, the raw word count
    bool applied = false;
};

// Words: runs of letters, numbers, "-" and "'" that start with a letter or number, without
// trailing "-" and "'".
std::vector<Word> words(const QString& text);

// Lower case with ё folded to е: two words are the same word when their keys are equal.
QString wordKey(const QString& word);
bool sameWord(const QString& a, const QString& b);

// Which model word each human word is paired with (human index -> model index).
std::map<int, int> align(const QStringList& human, const QStringList& model);

// Whether a human word may be split into a run of model words: MURMELO_RULE_SPLIT_GLUED=1.
bool splitGluedDefault();

using MayReplace = std::function<bool(const QString&)>;

// typedByHand: the model may neither drop a typed , . ! ? nor add ? or !.
// allowYo: the model may turn е into ё (and, with splitGlued, split words).
// mayReplace: when given, a human word it approves may take the model's spelling.
Result merge(const QString& raw, const QString& polished, const MayReplace& mayReplace, bool typedByHand,
             bool allowYo, bool splitGlued = splitGluedDefault());

}  // namespace PunctuationMerge
}  // namespace murmelo
