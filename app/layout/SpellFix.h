#pragma once
#include "layout/LayoutLexicons.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// Repair of a misspelt Russian word at a word boundary: refusals first, then the typo
// table, then a guess from the spell checker's suggestions and the corpus, ranked by the
// word pair with the previous word and by frequency. The whole repair is switched off in
// this system (isSpellEnabled is false); the search is kept complete for when it is on.
// Main thread only.
class SpellFix {
public:
    // What the repair asks of the switcher around it.
    class Switcher {
    public:
        virtual ~Switcher() = default;
        // The switcher's protected-word test, of a lower-cased word.
        virtual bool isProtectedWord(const QString& word) = 0;
        // Corrects the typed text into the replacement, at the boundary in the given layout, as a
        // spelling correction; whether it was applied.
        virtual bool correct(const QString& typed, const QString& replacement, std::optional<QChar> boundary,
                             const QString& layout) = 0;
        // The polish subsystem's working vocabulary knows the lower-cased word.
        virtual bool polishTermsKnows(const QString& word) = 0;
    };

    explicit SpellFix(Switcher& switcher, LayoutLexicons& lexicons = LayoutLexicons::shared())
        : switcher_(switcher), lex_(lexicons) {}

    // The switcher's state and operations the search reads and writes.
    bool isSpellEnabled = false;
    QSet<QString> exceptions;
    QSet<QString> learnedNames;
    QString prevWord;
    std::optional<QChar> prevBoundary;
    // Hears every refusal's tag; an observer.
    std::function<void(const QString&)> spellVetoSink;

    QHash<QString, double> recentSpellFixes;  // lower-cased word -> uptime of the fix

    bool trySpellFix(const QString& word, const QString& prefix, const QString& suffix, const QString& current,
                     std::optional<QChar> boundary, bool dictOnly);
    std::optional<QString> spellFixCandidate(const QString& word, bool dictOnly);
    QSet<QString> corpusEditCandidates(const QString& word) const;
    static int levenshtein(const QString& a, const QString& b);
    bool isLearnedName(const QString& word) const;
    void noteSpellFix(const QString& word);
    void spellVeto(const QString& tag) const;

    // Writes the sets to the user-defaults keys "layoutExceptions" and "spellLearnedNames".
    void saveExceptions() const;
    void saveNames() const;

private:
    bool protectedWord(const QString& lw) const;
    Switcher& switcher_;
    LayoutLexicons& lex_;
};

}  // namespace murmelo
