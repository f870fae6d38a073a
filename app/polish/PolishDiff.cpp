#include "polish/PolishDiff.h"

#include "base/Localization.h"
#include "polish/PunctuationMerge.h"

#include <QStringList>

namespace murmelo::PolishDiff {

namespace {

QStringList wordTexts(const QString& text) {
    QStringList out;
    for (const PunctuationMerge::Word& w : PunctuationMerge::words(text)) out.append(w.text);
    return out;
}

QString foldYo(const QString& word) {
    QString s = word;
    s.replace(QChar(0x0451), QChar(0x0435));  // ё -> е
    s.replace(QChar(0x0401), QChar(0x0415));  // Ё -> Е
    return s.toLower();
}

}  // namespace

std::vector<Edit> compute(const QString& before, const QString& after) {
    if (before == after) return {};
    const QStringList a = wordTexts(before);
    const QStringList b = wordTexts(after);
    if (a.size() != b.size() || a.isEmpty()) return {Edit{before, after, Kind::word}};
    std::vector<Edit> edits;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        Kind kind = Kind::word;
        if (a[i].toLower() == b[i].toLower()) kind = Kind::caseOnly;
        else if (foldYo(a[i]) == foldYo(b[i])) kind = Kind::yo;
        edits.push_back(Edit{a[i], b[i], kind});
    }
    if (edits.empty()) return {Edit{before, after, Kind::punctuation}};
    return edits;
}

QString summary(const std::vector<Edit>& edits) {
    int punctuation = 0, caseOnly = 0, yo = 0;
    for (const Edit& e : edits) {
        if (e.kind == Kind::punctuation) ++punctuation;
        else if (e.kind == Kind::caseOnly) ++caseOnly;
        else if (e.kind == Kind::yo) ++yo;
    }
    QStringList parts;
    if (punctuation > 0) parts.append(L(QStringLiteral("polish.card.punct"), QStringLiteral("знаки препинания")));
    if (caseOnly > 0) parts.append(L(QStringLiteral("polish.card.case"), QStringLiteral("регистр: %d"), {caseOnly}));
    if (yo > 0) parts.append(L(QStringLiteral("polish.card.yo"), QStringLiteral("ё: %d"), {yo}));
    return parts.join(QStringLiteral(" · "));
}

int debugWordCount(const QString& text) { return static_cast<int>(PunctuationMerge::words(text).size()); }

}  // namespace murmelo::PolishDiff
