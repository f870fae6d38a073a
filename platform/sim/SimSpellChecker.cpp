#include "sim/SimSpellChecker.h"

namespace murmelo::sim {

void SimSpellChecker::addWords(const QString& language, const QStringList& words) {
    if (!languages.contains(language)) languages << language;
    for (const QString& w : words) known[language].insert(w);
}

bool SimSpellChecker::accepts(const QString& text, const QString& language) {
    ++checks_;
    if (!languages.contains(language)) return false;
    return text.isEmpty() || known.value(language).contains(text);
}

QStringList SimSpellChecker::guesses(const QString& word, const QString& language) {
    ++guessCalls_;
    return suggestions.value(language).value(word);
}

}  // namespace murmelo::sim
