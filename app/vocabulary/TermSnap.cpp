#include "vocabulary/TermSnap.h"

#include "base/Graphemes.h"
#include "base/Regex.h"
#include "platform/SpellChecker.h"
#include "vocabulary/AppVocab.h"

#include <QHash>
#include <array>
#include <optional>
#include <utility>

namespace murmelo::TermSnap {

namespace {

struct Distortion {
    const char* phrase;
    const char* replacement;
};
// Phrases the recogniser gets wrong in the same way every time; none known yet.
constexpr std::array<Distortion, 0> knownDistortions{};

const QList<std::pair<QString, QString>>& multiRules() {
    static const QList<std::pair<QString, QString>> rules{
        {"tch", "C"}, {"ch", "C"}, {"sh", "S"}, {"th", "T"}, {"ph", "F"}, {"ck", "K"}, {"gh", ""},
        {"kn", "N"},  {"wh", "V"}, {"qu", "KV"}, {"oo", "U"}, {"ee", "I"}, {"ea", "I"}, {"ou", "A"},
        {"ow", "A"},  {"ai", "I"}, {"ay", "I"}, {"ey", "I"}, {"oa", "A"}, {"ie", "I"}, {"ju", "JU"},
        {"ge", "JI"}, {"gi", "JI"}, {"ce", "SI"}, {"ci", "SI"}, {"cy", "SI"}};
    return rules;
}

const QHash<QString, QString>& singles() {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        const std::pair<const char*, const char*> groups[] = {
            {"a o", "A"}, {"e i y", "I"}, {"u", "U"}, {"b p", "P"}, {"c g k q", "K"}, {"d t", "T"},
            {"f v w", "F"}, {"h", "H"}, {"j", "J"}, {"l", "L"}, {"m", "M"}, {"n", "N"}, {"r", "R"},
            {"s z", "S"}, {"x", "KS"}, {"а о", "A"}, {"е ё и й ы э я", "I"}, {"у ю", "U"}, {"б п", "P"},
            {"в ф", "F"}, {"г к", "K"}, {"х", "H"}, {"д т", "T"}, {"ж ш щ з с", "S"}, {"ц", "TS"},
            {"ч", "C"}, {"л", "L"}, {"м", "M"}, {"н", "N"}, {"р", "R"}, {"ъ ь", ""}};
        for (const auto& [letters, code] : groups)
            for (const QString& letter : QString::fromUtf8(letters).split(u' ')) t.insert(letter, QString::fromLatin1(code));
        return t;
    }();
    return table;
}

bool isLetter(const QString& g) { return !g.isEmpty() && QChar::isLetter(g.toUcs4().value(0)); }
bool isSpaceSeparator(QChar c) {
    static const QString breaks = QStringLiteral("\n\r\x0B\x0C\u0085\u2028\u2029");
    return c.isSpace() && !breaks.contains(c);
}
bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

QString endPiece(const QString& piece) {
    qsizetype start = 0, end = piece.size();
    while (start < end && isSpaceSeparator(piece[start])) ++start;
    while (end > start && isSpaceSeparator(piece[end - 1])) --end;
    while (end > start && piece[end - 1] == u'.') --end;
    return piece.mid(start, end - start);
}

QHash<QString, bool>& wordCache() {
    static QHash<QString, bool> cache;
    return cache;
}

const QString& enLanguage() {
    static const QString language = [] {
        const QStringList available = SpellChecker::shared().availableLanguages();
        if (available.contains(QStringLiteral("en_US"))) return QStringLiteral("en_US");
        for (const QString& l : available)
            if (l.startsWith(QStringLiteral("en"))) return l;
        return QStringLiteral("en");
    }();
    return language;
}

}  // namespace

QString phonetic(const QString& word) {
    QStringList letters;
    for (const QString& g : graphemes(word.toLower()))
        if (isLetter(g)) letters << g;
    QString code;
    qsizetype i = 0;
    while (i < letters.size()) {
        bool matched = false;
        for (const auto& [rule, ruleCode] : multiRules()) {
            const qsizetype n = rule.size();
            if (i + n > letters.size()) continue;
            bool equal = true;
            for (qsizetype k = 0; k < n && equal; ++k) equal = letters[i + k] == QString(rule[k]);
            if (!equal) continue;
            code += ruleCode;
            i += n;
            matched = true;
            break;
        }
        if (matched) continue;
        code += singles().value(letters[i]);
        ++i;
    }
    QString collapsed;
    for (QChar c : code)
        if (collapsed.isEmpty() || collapsed.back() != c) collapsed += c;
    return collapsed;
}

int distance(const QString& a, const QString& b) {
    const QStringList x = graphemes(a), y = graphemes(b);
    if (x.isEmpty()) return int(y.size());
    if (y.isEmpty()) return int(x.size());
    QList<int> previous(y.size() + 1), current(y.size() + 1);
    for (qsizetype j = 0; j <= y.size(); ++j) previous[j] = int(j);
    for (qsizetype i = 1; i <= x.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= y.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous[y.size()];
}

QStringList snapTerms(const QString& vocab) {
    QStringList terms;
    QStringList lowered;
    QString piece;
    auto finish = [&] {
        const QString term = endPiece(piece);
        piece.clear();
        if (term.isEmpty() || term.contains(u' ')) return;
        bool hasLetter = false;
        for (const QString& g : graphemes(term)) hasLetter = hasLetter || isLetter(g);
        if (!hasLetter || phonetic(term).size() < 6) return;
        if (lowered.contains(term.toLower())) return;
        lowered << term.toLower();
        terms << term;
    };
    static const QString stops = QStringLiteral(",:;?!");
    for (const QString& g : graphemes(vocab)) {
        const bool foreignLetter = isLetter(g) && !(g.size() == 1 && isAsciiLetter(g[0]));
        if (foreignLetter || (g.size() == 1 && stops.contains(g[0]))) {
            finish();
            continue;
        }
        piece += g;
    }
    finish();
    return terms;
}

bool isEnglishWord(const QString& word) {
    auto& cache = wordCache();
    if (const auto it = cache.constFind(word); it != cache.constEnd()) return *it;
    const bool known = SpellChecker::shared().accepts(word, enLanguage());
    cache.insert(word, known);
    return known;
}

Result apply(const QString& text, const QString& vocab) { return apply(text, vocab, isEnglishWord); }

Result apply(const QString& text) { return apply(text, customVocab()); }

Result apply(const QString& input, const QString& vocab, const std::function<bool(const QString&)>& spellCheck) {
    Result result{input, {}};
    for (const Distortion& d : knownDistortions) {
        QStringList words;
        for (const QString& w : QString::fromUtf8(d.phrase).split(u' ', Qt::SkipEmptyParts)) words << Regex::escapedPattern(w);
        const Regex regex = Regex::compile(QStringLiteral("(?<![\\p{L}\\p{N}_])") + words.join(QStringLiteral("\\s+")) +
                                               QStringLiteral("(?![\\p{L}\\p{N}_])"),
                                           Regex::CaseInsensitive);
        if (!regex.isValid() || !regex.contains(result.text)) continue;
        QString templ;
        for (QChar c : QString::fromUtf8(d.replacement)) templ += (c == u'\\' || c == u'$') ? QStringLiteral("\\") + c : QString(c);
        result.text = regex.replace(result.text, templ);
        result.changes << Change{QString::fromUtf8(d.phrase), QString::fromUtf8(d.replacement)};
    }

    const QStringList terms = snapTerms(vocab);
    if (terms.isEmpty()) return result;
    QList<std::pair<QString, QString>> candidates;
    for (const QString& t : terms) candidates << std::pair{t, phonetic(t)};

    struct Edit {
        qsizetype start, length;
        QString replacement;
    };
    QList<Edit> edits;
    static const Regex token = Regex::compile(QStringLiteral("[\\p{L}][\\p{L}\\p{N}\\.]*"));
    for (const Regex::Match& m : token.matches(result.text)) {
        QString word = m.captured(result.text);
        int stops = 0;
        while (word.endsWith(u'.')) {
            word.chop(1);
            ++stops;
        }
        if (graphemes(word).size() < 4) continue;
        bool plain = true;
        for (QChar c : word) plain = plain && (isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'.');
        if (!plain) continue;
        const QString key = phonetic(word);
        if (key.size() < 6) continue;
        std::optional<std::pair<QString, int>> best;
        for (const auto& [term, termKey] : candidates) {
            if (std::abs(termKey.size() - key.size()) > 2) continue;
            const int d = distance(key, termKey);
            if (d < 1 || d > int(termKey.size() / 6)) continue;
            if (!best || d < best->second) best = std::pair{term, d};
        }
        if (!best) continue;
        if (best->first.compare(word, Qt::CaseInsensitive) == 0) continue;
        bool english = false;
        QString run;
        auto checkRun = [&] {
            if (!run.isEmpty() && !english) english = spellCheck(run);
            run.clear();
        };
        for (QChar c : word) {
            if (c.isLetter()) run += c;
            else checkRun();
        }
        checkRun();
        if (english) continue;
        edits << Edit{m.start(), m.length(), best->first + QString(stops, u'.')};
        result.changes << Change{word, best->first};
    }
    for (qsizetype i = edits.size() - 1; i >= 0; --i) result.text.replace(edits[i].start, edits[i].length, edits[i].replacement);
    return result;
}

}  // namespace murmelo::TermSnap
