#include "layout/WordChecks.h"

#include "layout/RuForms.h"
#include "platform/SpellChecker.h"

#include <algorithm>

namespace murmelo {

namespace {

const QString kRu = QStringLiteral("ru");
const QString kEn = QStringLiteral("en");
constexpr int kCaseVariantCacheLimit = 4000;

QSet<QString> wordSet(std::initializer_list<const char16_t*> words) {
    QSet<QString> s;
    for (const char16_t* w : words) s.insert(QString::fromUtf16(w));
    return s;
}

}  // namespace

const QHash<QString, QSet<QString>>& WordChecks::twinWords() {
    static const QHash<QString, QSet<QString>> words{
        {kEn, wordSet({u"vs", u"ds", u"kb", u"ctr", u"ltd", u"tls", u"km", u"hfcs"})},
        {kRu, wordSet({u"шт", u"зуд", u"шаг", u"кг", u"рф"})},
    };
    return words;
}

const QHash<QString, QSet<QString>>& WordChecks::oneLetterWords() {
    static const QHash<QString, QSet<QString>> words{
        {kRu, wordSet({u"я", u"и", u"в", u"с", u"у", u"а", u"о", u"к"})},
        {kEn, wordSet({u"a", u"i"})},
    };
    return words;
}

std::optional<QString> WordChecks::languageFor(const QString& layout) const {
    if (layout == kRu) return lex_.spellLang;
    if (layout == kEn) return lex_.spellLangEn;
    return std::nullopt;
}

std::optional<bool> WordChecks::isRealWordInLayout(const QString& word, const QString& layout, bool caseVariant) {
    if (!lex_.spellLoaded) lex_.loadSpellIfNeeded();
    std::optional<QString> language;
    if (layout == kRu) {
        if (lex_.corpusFreq.contains(word) || lex_.openWords.contains(word)) return true;
        language = lex_.spellLang;
    } else if (layout == kEn) {
        language = lex_.spellLangEn;
    } else {
        return std::nullopt;
    }
    if (!language) return std::nullopt;
    if (SpellChecker::shared().accepts(word, *language)) return true;
    if (caseVariant) return knowsAsCaseVariant(word, *language);
    return false;
}

bool WordChecks::knowsAsCaseVariant(const QString& word, const QString& language) {
    const QString key = language + QLatin1Char(':') + word;
    if (auto it = caseVariantCache.constFind(key); it != caseVariantCache.constEnd()) return *it;
    const bool known = SpellChecker::shared().knowsInOtherCase(word, language);
    if (caseVariantCache.size() > kCaseVariantCacheLimit) caseVariantCache.clear();
    caseVariantCache.insert(key, known);
    return known;
}

std::optional<bool> WordChecks::isRealShortWordCurated(const QString& word, const QString& layout, bool caseVariant) {
    if (lex_.rules.ruleShortRuCurated && layout == kRu && charCount(word) <= 3) {
        return lex_.corpusFreq.contains(word) || lex_.openWords.contains(word);
    }
    return isRealWordInLayout(word, layout, caseVariant);
}

bool WordChecks::knowsOnlyAsCaseVariant(const QString& word, const QString& layout) {
    const std::optional<QString> language = languageFor(layout);
    if (!language) return false;
    if (layout == kRu && lex_.corpusFreq.contains(word)) return false;
    if (SpellChecker::shared().accepts(word, *language)) return false;
    return knowsAsCaseVariant(word, *language);
}

bool WordChecks::isOneLetterWord(const QString& word, const QString& layout) const {
    auto it = oneLetterWords().constFind(layout);
    return it != oneLetterWords().constEnd() && it->contains(word.toLower());
}

bool WordChecks::twinFrequencyWins(const QString& word, const QString& layout, const BestReading& best) {
    if (!lex_.rules.ruleTwinFrequency) return false;
    if (layout != kEn || best.best != kRu) return false;
    if (charCount(word) < 2 || !std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetter(); })) return false;
    const QString lower = word.toLower();
    auto twins = twinWords().constFind(layout);
    if (twins != twinWords().constEnd() && twins->contains(lower)) return false;
    if (isRealWordInLayout(lower, layout, true) != std::optional<bool>(true)) return false;
    const std::optional<qint64> count = lex_.corpusFreq.find(best.converted.toLower());
    return count && *count >= LayoutSwitcherRules::twinFrequencyFloor;
}

bool WordChecks::livePrefixVeto(const QString& word, const QString& layout) const {
    if (!lex_.rules.ruleLivePrefix || layout != kRu) return false;
    const int n = charCount(word);
    if (n < LayoutSwitcherRules::livePrefixMinLen || n > LayoutSwitcherRules::livePrefixMaxLen) return false;
    return lex_.livePrefixes.contains(n, word.toLower());
}

bool WordChecks::liveStemVeto(const QString& word, const QString& layout) const {
    if (!lex_.rules.ruleLiveStem || layout != kRu) return false;
    const QString lower = word.toLower();
    const int n = charCount(lower);
    const int minLen = lex_.rules.liveStemMinLen;
    if (n <= minLen) return false;
    for (int L = n - 1; L >= std::max(minLen, 1); --L) {
        const QString stem = firstChars(lower, L);
        const std::optional<qint64> count = lex_.corpusFreq.find(stem);
        if (count && *count >= lex_.rules.liveStemMinFreq) return true;
        if (lex_.rules.liveStemFST && RuForms::contains(stem)) return true;
    }
    return false;
}

}  // namespace murmelo
