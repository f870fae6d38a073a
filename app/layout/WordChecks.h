#pragma once
#include "layout/LayoutLexicons.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

namespace murmelo {

// The best other reading of a typed word, as the switcher's scoring gives it.
struct BestReading {
    QString best;       // language code of the reading
    QString converted;  // the word retyped in that layout
    double margin = 0;
};

// Whether a text is a real word in a layout's language ("ru" or "en"), from the Russian
// word tables, the word-form lexicon and the system spell checker. Main thread only.
class WordChecks {
public:
    explicit WordChecks(LayoutLexicons& lexicons = LayoutLexicons::shared()) : lex_(lexicons) {}

    // Words that stay as typed even when their other reading scores better.
    static const QHash<QString, QSet<QString>>& twinWords();
    static const QHash<QString, QSet<QString>>& oneLetterWords();

    std::optional<bool> isRealWordInLayout(const QString& word, const QString& layout, bool caseVariant = false);
    std::optional<bool> isRealShortWordCurated(const QString& word, const QString& layout, bool caseVariant = false);
    bool knowsAsCaseVariant(const QString& word, const QString& language);
    bool knowsOnlyAsCaseVariant(const QString& word, const QString& layout);
    bool isOneLetterWord(const QString& word, const QString& layout) const;
    bool twinFrequencyWins(const QString& word, const QString& layout, const BestReading& best);
    bool livePrefixVeto(const QString& word, const QString& layout) const;
    bool liveStemVeto(const QString& word, const QString& layout) const;

    QHash<QString, bool> caseVariantCache;

private:
    std::optional<QString> languageFor(const QString& layout) const;
    LayoutLexicons& lex_;
};

}  // namespace murmelo
