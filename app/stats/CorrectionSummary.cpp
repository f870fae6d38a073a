#include "base/Graphemes.h"
#include "stats/MonthlyStats.h"

#include <vector>

namespace murmelo::MonthlyStats {
namespace {

// A word (a maximal run of letters and numbers) or one mark (any other character: spaces
// and line breaks included). Texts are compared in their composed form, so canonically
// equivalent texts are equal.
struct CorrectionToken {
    bool isWord = false;
    QString text;
    QStringList characters;  // of a word
};

struct CorrectionScore {
    qint64 cost = 0;
    qint64 punctuation = 0;
    qint64 letterCase = 0;
    qint64 typos = 0;

    CorrectionScore operator+(const CorrectionScore& o) const {
        return {cost + o.cost, punctuation + o.punctuation, letterCase + o.letterCase, typos + o.typos};
    }
    // Cheaper first; then fewer typos; then the one that explains more as letter case; then
    // less punctuation.
    bool betterThan(const CorrectionScore& o) const {
        if (cost != o.cost) return cost < o.cost;
        if (typos != o.typos) return typos < o.typos;
        if (letterCase != o.letterCase) return letterCase > o.letterCase;
        return punctuation < o.punctuation;
    }
};

std::vector<CorrectionToken> correctionTokens(const QString& text) {
    std::vector<CorrectionToken> tokens;
    CorrectionToken word{true, {}, {}};
    auto endWord = [&] {
        if (word.characters.isEmpty()) return;
        tokens.push_back(std::move(word));
        word = CorrectionToken{true, {}, {}};
    };
    for (const QString& character : graphemes(text)) {
        if (isWordCharacter(character)) {
            word.text += character;
            word.characters << character;
        } else {
            endWord();
            tokens.push_back(CorrectionToken{false, character, {}});
        }
    }
    endWord();
    return tokens;
}

CorrectionScore removalOrAddition(const CorrectionToken& t) {
    return t.isWord ? CorrectionScore{1, 0, 0, 1} : CorrectionScore{1, 1, 0, 0};
}

CorrectionScore pairing(const CorrectionToken& b, const CorrectionToken& a) {
    if (!b.isWord && !a.isWord) return b.text == a.text ? CorrectionScore{} : CorrectionScore{1, 1, 0, 0};
    if (b.isWord != a.isWord) return {2, 1, 0, 1};
    if (b.text == a.text) return {};
    // A letter-case change: some position holds two different characters that lowercase
    // alike. A typo: the words still differ once lowercased.
    qint64 h = 0;
    const qsizetype shorter = std::min(b.characters.size(), a.characters.size());
    for (qsizetype i = 0; i < shorter && h == 0; ++i) {
        const QString& x = b.characters.at(i);
        const QString& y = a.characters.at(i);
        if (x != y && x.toLower() == y.toLower()) h = 1;
    }
    const qint64 d = b.text.toLower() == a.text.toLower() ? 0 : 1;
    return {h + d, 0, h, d};
}

}  // namespace

CorrectionCounts correctionSummary(const QString& before, const QString& after) {
    const QString b = before.normalized(QString::NormalizationForm_C);
    const QString a = after.normalized(QString::NormalizationForm_C);
    if (b == a) return {};
    const std::vector<CorrectionToken> B = correctionTokens(b);
    const std::vector<CorrectionToken> A = correctionTokens(a);
    const size_t n = B.size();
    const size_t m = A.size();
    // Rows over the after-tokens, one before-token at a time: two rows are enough.
    std::vector<CorrectionScore> previous(m + 1), current(m + 1);
    for (size_t j = 1; j <= m; ++j) previous[j] = previous[j - 1] + removalOrAddition(A[j - 1]);
    for (size_t i = 1; i <= n; ++i) {
        current[0] = previous[0] + removalOrAddition(B[i - 1]);
        for (size_t j = 1; j <= m; ++j) {
            CorrectionScore best = previous[j] + removalOrAddition(B[i - 1]);
            const CorrectionScore addition = current[j - 1] + removalOrAddition(A[j - 1]);
            if (addition.betterThan(best)) best = addition;
            const CorrectionScore paired = previous[j - 1] + pairing(B[i - 1], A[j - 1]);
            if (paired.betterThan(best)) best = paired;
            current[j] = best;
        }
        std::swap(previous, current);
    }
    const CorrectionScore& result = previous[m];
    return {result.punctuation, result.letterCase, result.typos};
}

}  // namespace murmelo::MonthlyStats
