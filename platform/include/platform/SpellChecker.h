#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// The system spell checker: which languages it has, whether it accepts a word, and its
// suggestions. Language identifiers are the checker's own ("ru_RU", "en_US").
class SpellChecker {
public:
    virtual ~SpellChecker() = default;

    virtual QStringList availableLanguages() = 0;
    // True when the text holds no misspelt word in the language. An unknown language
    // rejects everything.
    virtual bool accepts(const QString& text, const QString& language) = 0;
    // Suggested words for a misspelt word, best first; empty when there are none. May be
    // slow (tens of milliseconds for a large dictionary).
    virtual QStringList guesses(const QString& word, const QString& language) = 0;
    // True when the checker knows the word in another letter case only: some suggestion
    // has the same characters up to case. Backends with a cheaper test override it.
    virtual bool knowsInOtherCase(const QString& word, const QString& language);

    // The installed checker; before one is installed, a checker without languages.
    static SpellChecker& shared();
    static void install(SpellChecker* checker);
};

}  // namespace murmelo
