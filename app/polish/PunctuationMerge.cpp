#include "polish/PunctuationMerge.h"

#include "base/Graphemes.h"

#include <QSet>
#include <optional>

namespace murmelo::PunctuationMerge {

namespace {

char32_t firstScalar(const QString& ch) {
    const auto u = ch.toUcs4();
    return u.isEmpty() ? 0 : u.first();
}
bool isLetter(const QString& ch) { return QChar::isLetter(firstScalar(ch)); }
bool isNumber(const QString& ch) { return QChar::isNumber(firstScalar(ch)); }
bool isSpace(const QString& ch) { return !ch.isEmpty() && QChar::isSpace(firstScalar(ch)); }
bool isLower(const QString& ch) { return QChar::isLower(firstScalar(ch)); }
bool isUpper(const QString& ch) { return QChar::isUpper(firstScalar(ch)); }

QSet<QString> setOf(std::initializer_list<const char16_t*> items) {
    QSet<QString> s;
    for (const char16_t* i : items) s.insert(QString::fromUtf16(i));
    return s;
}

const QSet<QString>& typedMarks() {
    static const QSet<QString> s = setOf({u",", u".", u"!", u"?"});
    return s;
}
const QSet<QString>& neverAdded() {
    static const QSet<QString> s = setOf({u"\"", u"«", u"»", u"“", u"”", u"„", u"…", u"(", u")", u"[", u"]",
                                          u"{", u"}", u"/"});
    return s;
}
const QSet<QString>& neverAddedTyped() {
    static const QSet<QString> s = setOf({u"?", u"!"});
    return s;
}
const QSet<QString>& modelNeverAdds() {
    static const QSet<QString> s = setOf({u"*", u"_", u"#", u"@", u"&", u"%", u"\\"});
    return s;
}
const QSet<QString>& abbreviations() {
    static const QSet<QString> s =
        setOf({u"т", u"е", u"д", u"п", u"др", u"пр", u"проч", u"доп", u"см", u"стр", u"рис", u"табл",
               u"гл", u"ст", u"тыс", u"руб", u"коп", u"шт", u"экз", u"ул", u"г", u"гг", u"обл", u"кв",
               u"корп", u"зам", u"изд", u"ред", u"им", u"англ", u"рус", u"напр", u"макс", u"мин", u"ср",
               u"соотв"});
    return s;
}

// The class a mark belongs to: dashes share one, quotation marks another; none for the
// rest (, . ! ? included).
std::optional<QString> markClass(const QString& ch) {
    static const QSet<QString> dashes = setOf({u"-", u"–", u"—", u"‒", u"−"});
    static const QSet<QString> quotes = setOf({u"\"", u"«", u"»", u"“", u"”", u"„"});
    static const QSet<QString> own = setOf({u"(", u")", u"[", u"]", u"{", u"}", u":", u";", u"…", u"/"});
    if (dashes.contains(ch)) return QStringLiteral("-");
    if (quotes.contains(ch)) return QStringLiteral("\"");
    if (own.contains(ch)) return ch;
    return std::nullopt;
}

bool isDash(const QString& ch) { return markClass(ch) == QStringLiteral("-"); }

bool isSpaceOrTab(const QString& ch) { return ch == QStringLiteral(" ") || ch == QStringLiteral("\t"); }
bool isPlainMark(const QString& ch) { return typedMarks().contains(ch); }

bool modelMayAdd(const QString& ch) {
    if (isSpaceOrTab(ch) || markClass(ch) || isPlainMark(ch)) return true;
    if (modelNeverAdds().contains(ch)) return false;
    const auto scalars = ch.toUcs4();
    if (scalars.size() != 1 || !QChar::isPunct(scalars.first())) return false;
    const char32_t u = scalars.first();
    return u <= 0x024F || (u >= 0x0370 && u <= 0x04FF) || (u >= 0x0600 && u <= 0x06FF) ||
           (u >= 0x2000 && u <= 0x206F) || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF);
}

bool modelDroppedMark(const QString& mine, const QString& theirs, bool typedByHand) {
    const QStringList theirChars = graphemes(theirs);
    QSet<QString> theirClasses;
    for (const QString& t : theirChars)
        if (auto c = markClass(t)) theirClasses.insert(*c);
    for (const QString& c : graphemes(mine)) {
        const auto cls = markClass(c);
        if (cls && !theirClasses.contains(*cls)) return true;
        if (typedByHand && typedMarks().contains(c) && !theirChars.contains(c)) return true;
        if (!isSpaceOrTab(c) && !cls && !isPlainMark(c) && !theirChars.contains(c)) return true;
    }
    return false;
}

bool modelAddedStrangeMark(const QString& mine, const QString& theirs, bool typedByHand) {
    const QStringList myChars = graphemes(mine);
    if (theirs.contains(QStringLiteral("..")) && !mine.contains(QStringLiteral(".."))) return true;
    for (const QString& c : graphemes(theirs)) {
        if (myChars.contains(c)) continue;
        if (neverAdded().contains(c)) return true;
        if (typedByHand && neverAddedTyped().contains(c)) return true;
        if (!modelMayAdd(c)) return true;
    }
    return false;
}

// The human's choice of dash survives whatever dash the model wrote.
QString keepingHumanDash(const QString& mine, const QString& theirs) {
    QString dash;
    for (const QString& c : graphemes(mine))
        if (isDash(c)) {
            dash = c;
            break;
        }
    if (dash.isEmpty()) return theirs;
    const QStringList theirChars = graphemes(theirs);
    bool allSame = true;
    for (const QString& c : theirChars)
        if (isDash(c) && c != dash) allSame = false;
    if (allSame) return theirs;
    QString out;
    for (const QString& c : theirChars) out += isDash(c) ? dash : c;
    return out;
}

// Letters and numbers of the lower-cased text, ё folded when asked: what must survive a merge.
QString lettersOf(const QString& text, bool foldYo) {
    QString out;
    for (const QString& c : graphemes(text.toLower()))
        if (isLetter(c) || isNumber(c)) out += c;
    if (foldYo) out.replace(QStringLiteral("ё"), QStringLiteral("е"));
    return out;
}

QString withYo(const QString& human, const QString& model) {
    const QStringList h = graphemes(human);
    const QStringList m = graphemes(model);
    if (h.size() != m.size()) return human;
    QString out;
    for (int i = 0; i < h.size(); ++i) {
        const bool modelYo = m[i] == QStringLiteral("ё") || m[i] == QStringLiteral("Ё");
        if (modelYo && h[i] == QStringLiteral("е")) out += QStringLiteral("ё");
        else if (modelYo && h[i] == QStringLiteral("Е")) out += QStringLiteral("Ё");
        else out += h[i];
    }
    return out;
}

QString withCase(const QString& human, const QString& model) {
    const QStringList h = graphemes(human);
    const QStringList m = graphemes(model);
    if (h.size() != m.size()) return human;
    QString out;
    for (int i = 0; i < h.size(); ++i) {
        if (isUpper(m[i])) out += h[i].toUpper();
        else if (isLower(m[i])) out += h[i].toLower();
        else out += h[i];
    }
    return out;
}

struct Accumulators {
    qint64 rejected = 0;
    QStringList emitted;
};

QString accepted(const QString& human, const std::optional<QString>& model, bool keepCase, bool yoOnly,
                 bool allowYo, const MayReplace& mayReplace, Accumulators& acc) {
    QString out;
    if (!model || *model == human || keepCase) {
        out = human;
    } else if (!sameWord(human, *model)) {
        if (mayReplace && mayReplace(human)) {
            out = *model;
        } else {
            ++acc.rejected;
            out = human;
        }
    } else if (yoOnly) {
        out = allowYo ? withYo(human, *model) : human;
    } else if (allowYo || human.toLower() == model->toLower()) {
        out = *model;
    } else {
        // The model swapped е and ё where it may not: its case still counts.
        ++acc.rejected;
        out = withCase(human, *model);
    }
    acc.emitted << out;
    return out;
}

QString acceptedRun(const QString& human, const QStringList& run, const QString& runText, bool allowYo,
                    const MayReplace& mayReplace, Accumulators& acc) {
    bool ok = run.size() >= 2;
    if (ok) {
        for (const QString& c : graphemes(runText))
            if (!isLetter(c) && !isNumber(c) && !isSpace(c)) {
                ok = false;
                break;
            }
    }
    if (ok) ok = lettersOf(runText, allowYo) == lettersOf(human, allowYo) || (mayReplace && mayReplace(human));
    if (!ok) {
        ++acc.rejected;
        acc.emitted << human;
        return human;
    }
    acc.emitted << run;
    return runText;
}

QStringList keysOf(const std::vector<Word>& ws) {
    QStringList keys;
    for (const Word& w : ws) keys << wordKey(w.text);
    return keys;
}

}  // namespace

std::vector<Word> words(const QString& text) {
    std::vector<Word> out;
    const QStringList chars = graphemes(text);
    int pos = 0;  // UTF-16 offset of chars[i]
    int i = 0;
    while (i < chars.size()) {
        if (!isLetter(chars[i]) && !isNumber(chars[i])) {
            pos += chars[i].size();
            ++i;
            continue;
        }
        int j = i;
        int endPos = pos;
        while (j < chars.size() && (isLetter(chars[j]) || isNumber(chars[j]) || chars[j] == QStringLiteral("-") ||
                                    chars[j] == QStringLiteral("'"))) {
            endPos += chars[j].size();
            ++j;
        }
        // A trailing "-" or "'" belongs to the following gap.
        while (j > i) {
            const char32_t last = firstScalar(chars[j - 1]);
            if (last != U'-' && last != U'\'') break;
            --j;
            endPos -= chars[j].size();
        }
        out.push_back({text.mid(pos, endPos - pos), pos, endPos});
        pos = endPos;
        i = j;
    }
    return out;
}

QString wordKey(const QString& word) { return word.toLower().replace(QStringLiteral("ё"), QStringLiteral("е")); }

bool sameWord(const QString& a, const QString& b) { return wordKey(a) == wordKey(b); }

std::map<int, int> align(const QStringList& human, const QStringList& model) {
    std::map<int, int> pairs;
    const int n = int(human.size());
    const int m = int(model.size());
    if (n == 0 || m == 0) return pairs;
    QStringList hk, mk;
    for (const QString& w : human) hk << wordKey(w);
    for (const QString& w : model) mk << wordKey(w);
    std::vector<std::vector<int>> L(n + 1, std::vector<int>(m + 1, 0));
    for (int i = n - 1; i >= 0; --i)
        for (int j = m - 1; j >= 0; --j)
            L[i][j] = hk[i] == mk[j] ? L[i + 1][j + 1] + 1 : std::max(L[i + 1][j], L[i][j + 1]);
    int i = 0, j = 0;
    while (i < n && j < m) {
        if (hk[i] == mk[j]) {
            pairs[i++] = j++;
        } else if (L[i + 1][j] < L[i][j + 1]) {
            ++j;
        } else if (L[i + 1][j] != L[i + 1][j + 1]) {
            ++i;
        } else {
            pairs[i++] = j++;  // a changed word
        }
    }
    return pairs;
}

bool splitGluedDefault() {
    static const bool on = qgetenv("MURMELO_RULE_SPLIT_GLUED") == "1";
    return on;
}

Result merge(const QString& raw, const QString& polished, const MayReplace& mayReplace, bool typedByHand,
             bool allowYo, bool splitGlued) {
    const QString r = raw.trimmed();
    const QString p = polished.trimmed();
    std::vector<Word> hw = words(r);
    const std::vector<Word> mw = words(p);
    if (p.isEmpty() || hw.empty() || mw.empty()) return {raw, 0, false};
    const qint64 rawWordCount = qint64(hw.size());
    const Result failed{raw, rawWordCount, false};

    // Two spaced human words the model wrote as one hyphenated word become that word.
    QSet<QString> hyphenated;
    for (const Word& w : mw)
        if (w.text.contains(QLatin1Char('-'))) hyphenated.insert(wordKey(w.text));
    if (!hyphenated.isEmpty()) {
        std::vector<Word> joined;
        for (size_t i = 0; i < hw.size();) {
            if (i + 1 < hw.size()) {
                const QString gap = r.mid(hw[i].end, hw[i + 1].start - hw[i].end);
                const bool onlySpaces = !gap.isEmpty() && gap.count(QLatin1Char(' ')) == gap.size();
                const QString a = wordKey(hw[i].text), b = wordKey(hw[i + 1].text);
                if (onlySpaces && a != b && hyphenated.contains(a + QLatin1Char('-') + b)) {
                    joined.push_back({hw[i].text + QLatin1Char('-') + hw[i + 1].text, hw[i].start, hw[i + 1].end});
                    i += 2;
                    continue;
                }
            }
            joined.push_back(hw[i]);
            ++i;
        }
        hw = std::move(joined);
    }
    const int n = int(hw.size());
    const int m = int(mw.size());
    auto hyphenJoined = [&](int i) {
        return hw[i].text.contains(QLatin1Char('-')) &&
               !r.mid(hw[i].start, hw[i].end - hw[i].start).contains(QLatin1Char('-'));
    };
    auto humanGap = [&](int i) { return r.mid(hw[i - 1].end, hw[i].start - hw[i - 1].end); };
    auto hasSpace = [](const QString& s) {
        for (const QString& c : graphemes(s))
            if (isSpace(c)) return true;
        return false;
    };

    QStringList humanTexts;
    for (const Word& w : hw) humanTexts << w.text;
    QStringList modelTexts;
    for (const Word& w : mw) modelTexts << w.text;
    const std::map<int, int> pair = align(humanTexts, modelTexts);
    auto pairOf = [&](int i) -> std::optional<int> {
        const auto it = pair.find(i);
        return it == pair.end() ? std::nullopt : std::optional<int>(it->second);
    };

    std::vector<bool> unspaced(n, false);
    for (int i = 1; i < n; ++i) {
        const QString gap = humanGap(i);
        if (!gap.isEmpty() && !hasSpace(gap)) unspaced[i - 1] = unspaced[i] = true;
    }

    // Extra model words between two paired human words belong to the first: a split.
    std::map<int, int> runEnd;
    if (splitGlued && allowYo) {
        std::vector<std::pair<int, int>> pairs(pair.begin(), pair.end());
        for (size_t k = 0; k + 1 < pairs.size(); ++k)
            if (pairs[k].second + 1 < pairs[k + 1].second) runEnd[pairs[k].first] = pairs[k + 1].second - 1;
    }
    auto modelEndOf = [&](int i) -> std::optional<int> {
        const auto it = runEnd.find(i);
        return it != runEnd.end() ? std::optional<int>(it->second) : pairOf(i);
    };

    Accumulators acc;
    auto writeWord = [&](int i) -> QString {
        const auto j = pairOf(i);
        const auto e = runEnd.find(i);
        if (j && e != runEnd.end() && *j < e->second) {
            QStringList run;
            for (int k = *j; k <= e->second; ++k) run << mw[k].text;
            const QString runText = p.mid(mw[*j].start, mw[e->second].end - mw[*j].start);
            return acceptedRun(hw[i].text, run, runText, allowYo, mayReplace, acc);
        }
        std::optional<QString> model;
        if (j) model = mw[*j].text;
        return accepted(hw[i].text, model, unspaced[i], hyphenJoined(i), allowYo, mayReplace, acc);
    };

    QString out;
    const QString rawPrefix = r.left(hw[0].start);
    const QString modelPrefix = p.left(mw[0].start);
    if (pairOf(0) == 0 && !modelDroppedMark(rawPrefix, modelPrefix, typedByHand) &&
        !modelAddedStrangeMark(rawPrefix, modelPrefix, typedByHand))
        out += keepingHumanDash(rawPrefix, modelPrefix);
    else
        out += rawPrefix;
    out += writeWord(0);

    for (int i = 1; i < n; ++i) {
        const QString gap = humanGap(i);
        const auto a = modelEndOf(i - 1);
        const auto b = pairOf(i);
        if (!a || !b || *b != *a + 1 || (!gap.isEmpty() && !hasSpace(gap))) {
            out += gap;
        } else {
            const QString modelGap = p.mid(mw[*a].end, mw[*b].start - mw[*a].end);
            if (modelDroppedMark(gap, modelGap, typedByHand) || modelAddedStrangeMark(gap, modelGap, typedByHand)) {
                out += gap;
            } else {
                const int dot = modelGap.indexOf(QLatin1Char('.'));
                const QString afterDot = dot < 0 ? QString() : modelGap.mid(dot + 1);
                if (gap.contains(QLatin1Char('.')) || dot < 0 || afterDot.isEmpty() || !hasSpace(afterDot)) {
                    out += keepingHumanDash(gap, modelGap);
                } else {
                    // The model ends a sentence the human did not: only before a capital or
                    // after an abbreviation.
                    const QStringList nextChars = graphemes(mw[*b].text);
                    const bool lowerNext = !nextChars.isEmpty() && isLower(nextChars.first());
                    if (lowerNext && !abbreviations().contains(wordKey(hw[i - 1].text)))
                        out += gap;
                    else
                        out += keepingHumanDash(gap, modelGap);
                }
            }
        }
        out += writeWord(i);
    }

    const QString rawSuffix = r.mid(hw[n - 1].end);
    const auto last = modelEndOf(n - 1);
    if (last && *last + 1 == m) {
        const QString modelSuffix = p.mid(mw[*last].end);
        if (!modelDroppedMark(rawSuffix, modelSuffix, typedByHand) &&
            !modelAddedStrangeMark(rawSuffix, modelSuffix, typedByHand))
            out += keepingHumanDash(rawSuffix, modelSuffix);
        else
            out += rawSuffix;
    } else {
        out += rawSuffix;
    }

    // The written words must be the words of the output, and without a trusted replacement
    // the letters must be the human's.
    QStringList emittedKeys;
    for (const QString& w : acc.emitted) emittedKeys << wordKey(w);
    if (keysOf(words(out)) != emittedKeys) return failed;
    if (!mayReplace && lettersOf(out, allowYo) != lettersOf(r, allowYo)) return failed;
    return {out, acc.rejected, true};
}

}  // namespace murmelo::PunctuationMerge
