#pragma once
#include "layout/WordChecks.h"
#include "polish/PolishResult.h"

#include <QSet>
#include <QString>

namespace murmelo {

class LayoutLexicons;
class LayoutSwitcher;

// Which words polish must leave as typed, and which words the system knows: the switcher's
// word tables and learned words, the polish exceptions learned from reverted edits, the
// personal dictionary, the working vocabulary and the Russian word forms. Main thread only.
class PolishKnownWords final : public PolishProtectedWords {
public:
    static inline const QString POLISH_EXC_KEY = QStringLiteral("polishExceptions");

    PolishKnownWords(LayoutSwitcher& switcher, LayoutLexicons& lexicons);
    // The program's one, over the application's switcher and word tables; made on first use.
    static PolishKnownWords& application();

    // Polish must not change this word: one letter, digits, Latin letters, a known word, or a
    // hyphenated word of known parts. A trusted model may replace any other word.
    bool polishProtects(const QString& word) override;
    // The word is known (asked before offering to add a word to the dictionary).
    bool knowsWord(const QString& word);
    // The stored polish exceptions; a malformed value reads as none.
    static QSet<QString> polishExceptions();
    // Learns the words of a reverted polish edit so that polish leaves them alone.
    static void polishLearnException(const QString& text);

private:
    bool knows(const QString& word);
    bool knowsForm(const QString& form, const QSet<QString>& exceptions) const;
    void loadSpellIfNeeded();

    LayoutSwitcher& switcher_;
    LayoutLexicons& lexicons_;
    WordChecks checks_;
};

}  // namespace murmelo
