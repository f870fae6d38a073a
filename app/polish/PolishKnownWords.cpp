#include "polish/PolishKnownWords.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutSwitcher.h"
#include "layout/RuForms.h"
#include "polish/PolishTerms.h"
#include "polish/PunctuationMerge.h"
#include "vocabulary/PersonalDictionary.h"

#include <QStringList>
#include <QVariantList>

namespace murmelo {

namespace {

bool hasNumber(const QString& w) {
    for (char32_t u : w.toUcs4())
        if (QChar::isNumber(u)) return true;
    return false;
}

bool hasLetter(const QString& w) {
    for (char32_t u : w.toUcs4())
        if (QChar::isLetter(u)) return true;
    return false;
}

bool hasAsciiLetter(const QString& w) {
    for (QChar c : w)
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')))
            return true;
    return false;
}

QString foldYo(QString w) { return w.replace(QChar(0x0451), QChar(0x0435)); }

}  // namespace

PolishKnownWords::PolishKnownWords(LayoutSwitcher& switcher, LayoutLexicons& lexicons)
    : switcher_(switcher), lexicons_(lexicons), checks_(lexicons) {}

PolishKnownWords& PolishKnownWords::application() {
    static PolishKnownWords known(LayoutSwitcher::shared(), LayoutLexicons::shared());  // lives for the process
    return known;
}

QSet<QString> PolishKnownWords::polishExceptions() { return Defaults::shared().stringSetValue(POLISH_EXC_KEY); }

void PolishKnownWords::loadSpellIfNeeded() {
    if (!lexicons_.spellLoaded) lexicons_.loadSpellIfNeeded();
}

bool PolishKnownWords::knowsForm(const QString& f, const QSet<QString>& exceptions) const {
    return lexicons_.corpusFreq.contains(f) || lexicons_.openWords.contains(f) || switcher_.exceptions.contains(f) ||
           switcher_.learnedNames.contains(f) || exceptions.contains(f) || PersonalDictionary::knows(f) ||
           PolishTerms::knows(f) || RuForms::contains(f);
}

bool PolishKnownWords::knows(const QString& word) {
    const QSet<QString> exceptions = polishExceptions();
    if (knowsForm(word, exceptions)) return true;
    const QString e = foldYo(word);
    return e != word && knowsForm(e, exceptions);
}

bool PolishKnownWords::polishProtects(const QString& word) {
    const QString w = word.toLower();
    if (graphemeCount(w) <= 1) return true;
    if (hasNumber(w) || hasAsciiLetter(w)) return true;
    loadSpellIfNeeded();
    if (knows(w)) return true;
    if (w.contains(QLatin1Char('-'))) {
        const QStringList pieces = w.split(QLatin1Char('-'), Qt::SkipEmptyParts);
        if (pieces.size() < 2) return false;
        for (const QString& piece : pieces)
            if (!knows(piece)) return false;
        return true;
    }
    return false;
}

bool PolishKnownWords::knowsWord(const QString& word) {
    const QString w = word.toLower();
    if (w.isEmpty()) return true;
    if (PersonalDictionary::knows(w)) return true;
    if (layoutExceptionSeed().contains(w)) return true;
    loadSpellIfNeeded();
    if (knows(w)) return true;
    if (hasAsciiLetter(w)) return checks_.isRealWordInLayout(w, QStringLiteral("en"), true) == std::optional<bool>(true);
    return false;
}

void PolishKnownWords::polishLearnException(const QString& text) {
    QStringList kept;
    for (const PunctuationMerge::Word& word : PunctuationMerge::words(text)) {
        const QString w = word.text.toLower();
        if (graphemeCount(w) >= 2 && hasLetter(w)) kept.append(w);
    }
    if (kept.isEmpty()) return;
    QSet<QString> stored = polishExceptions();
    const qsizetype before = stored.size();
    for (const QString& w : kept) stored.insert(w);
    if (stored.size() == before) return;
    QStringList sorted(stored.cbegin(), stored.cend());
    sorted.sort();
    Defaults::shared().set(POLISH_EXC_KEY, QVariant(sorted).toList());
    logLine(QStringLiteral("polish/undo: запомнил ") + priv(kept.join(QStringLiteral(", "))) +
            QStringLiteral(" — больше не правлю"));
}

}  // namespace murmelo
