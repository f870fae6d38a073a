#pragma once
#include "layout/LayoutSwitcher.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace murmelo {

class WordChecks;

// A word cut into what is around it and what is really the word.
struct WordParts {
    QString prefix, core, suffix;
    bool operator==(const WordParts&) const = default;
};

// The constant character classes the word decision works with.
namespace WordClasses {
// . , ; : ' " ! ? ( ) [ ] { } < > « » … —
const QSet<QChar>& punctAll();
// : " ! ? ( ) < > « » … —
const QSet<QChar>& punctPure();
// The six US punctuation keys that type Russian letters: . , ; ' [ ]
const QSet<QChar>& punctLetterTrail();
const QSet<QChar>& ruVowels();
// Letters that are whole words, by language.
const QHash<QString, QSet<QChar>>& soloWords();
}  // namespace WordClasses

// User-perceived characters of a text.
QStringList wordChars(const QString& text);
// The character is a letter (its first code point).
bool isLetterChar(const QString& character);

// The shape of a typed word: its edge punctuation, slashes and digit tail, command-like and
// web-address shapes, readings whose first sign is a letter of the other layout, capital
// abbreviations, and the edge punctuation a conversion puts back. Nothing here changes the
// engine; it reads the engine's rule switches and whether it is on. Main thread only.
class LayoutWordShape {
public:
    LayoutWordShape(const LayoutSwitcher& engine, WordChecks& checks) : engine_(engine), checks_(checks) {}

    WordParts splitAffixes(const QString& word, const QSet<QChar>& edge, const std::optional<QString>& current,
                           bool r44) const;
    // The same split without a current layout: the leading sign is never read as a letter.
    static WordParts splitAffixesPlain(const QString& word, const QSet<QChar>& edge);
    std::optional<QString> leadingSignIsLetter(const QString& word, const QString& current, bool enabled) const;
    static WordParts peelSlashAffixes(const QString& word);
    // (head, tail): a Russian-layout word's model-number tail split off.
    std::pair<QString, QString> peelDigitTail(const QString& core, const QString& layout) const;
    // (the text retyped, its layout) when the text is a web-address beginning in another layout.
    static std::optional<std::pair<QString, QString>> urlSchemeFlip(const QString& text, const QString& layout);
    static bool isCommandShapedToken(const QString& word);
    static std::pair<QString, QString> peelCommandPrefix(const QString& word);
    bool innerMarkBlocksDict(const QString& word, const std::optional<QString>& current, bool enabled, bool r44) const;
    // (layout, reading) when the word's leading sign is a letter of another layout and the
    // reading there is a word.
    std::optional<std::pair<QString, QString>> flippedReadingIsWord(const QString& word, const QString& layout,
                                                                    bool enabled) const;
    // Which side a 2-to-4-letter capital token belongs to: the English one unless its Russian
    // reading is a curated short word.
    std::optional<QString> capsAbbreviationSide(const QString& core, const QString& layout, const QString& converted,
                                                const QString& other) const;
    QString resolveEdgePunct(const QString& prefix, const QString& core, const QString& suffix,
                             const QString& converted, const QString& from, const QString& to, bool r45) const;
    QString trailSignStaysAsTyped(const QString& typed, const QString& converted, const QString& from,
                                  const QString& to, bool enabled) const;
    QString resolveTrailingPunct(const QString& typed, const QString& current, const QString& from,
                                 const QString& to) const;

private:
    bool isWordOf(const QString& text, const QString& layout, bool caseVariant) const;

    const LayoutSwitcher& engine_;
    WordChecks& checks_;
};

}  // namespace murmelo
