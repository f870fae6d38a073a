#include "polish/PolishTyping.h"

#include "base/Graphemes.h"

namespace murmelo::PolishTyping {
namespace {

// Characters compare as the user sees them: canonically equal spellings are the same.
bool sameCharacter(const QString& a, const QString& b) {
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

bool isWhiteSpace(const QString& character) {
    for (const char32_t c : character.toUcs4())
        if (!QChar::isSpace(c)) return false;
    return true;
}

QString joined(const QStringList& chars, qsizetype from, qsizetype to) {
    QString out;
    for (qsizetype i = from; i < to; ++i) out += chars.at(i);
    return out;
}

bool anyLineBreak(const QStringList& chars, qsizetype from) {
    for (qsizetype i = from; i < chars.size(); ++i)
        if (isLineBreak(chars.at(i))) return true;
    return false;
}

}  // namespace

bool isLineBreak(const QString& character) {
    if (character.isEmpty()) return false;
    const char32_t first = character.toUcs4().value(0);
    switch (first) {
    case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x85: case 0x2028: case 0x2029: return true;
    default: return false;
    }
}

qsizetype commonPrefix(const QStringList& a, const QStringList& b) {
    qsizetype n = 0;
    while (n < a.size() && n < b.size() && sameCharacter(a.at(n), b.at(n))) ++n;
    return n;
}

qsizetype commonSuffix(const QStringList& a, const QStringList& b, qsizetype prefix) {
    const qsizetype limit = std::min(a.size(), b.size()) - prefix;
    qsizetype o = 0;
    while (o < limit && sameCharacter(a.at(a.size() - 1 - o), b.at(b.size() - 1 - o))) ++o;
    return o;
}

bool eatsNewline(const QString& have, const QString& want, const QString& gap) {
    const QStringList g = graphemes(gap);
    if (anyLineBreak(g, 0)) return true;
    const QStringList h = graphemes(have), w = graphemes(want);
    const qsizetype p = commonPrefix(h, w);
    return anyLineBreak(h, p) || anyLineBreak(w, p);
}

std::optional<Plan> plan(const QString& have, const QString& want, const QString& gap, bool trustGap) {
    const QStringList g = graphemes(gap);
    if (!trustGap)
        for (const QString& c : g)
            if (!isWhiteSpace(c)) return std::nullopt;
    if (sameCharacter(have, want)) return std::nullopt;
    if (eatsNewline(have, want, gap)) return std::nullopt;
    const QStringList h = graphemes(have), w = graphemes(want);
    const qsizetype n = commonPrefix(h, w);
    const qsizetype o = commonSuffix(h, w, n);
    if (h.size() - n - o == 0 && w.size() - n - o == 0) return std::nullopt;
    Plan p;
    p.backspaces = int(h.size() - n + g.size());
    p.insert = joined(w, n, w.size()) + gap;
    p.erased = joined(h, n, h.size()) + gap;
    p.why = QStringLiteral("снять %1, впечатать %2").arg(p.backspaces).arg(graphemeCount(p.insert));
    return p;
}

Narrowed narrowRange(const QString& have, const QString& want) {
    const QStringList h = graphemes(have), w = graphemes(want);
    const qsizetype c = commonPrefix(h, w);
    const qsizetype i = commonSuffix(h, w, c);
    Narrowed out;
    out.offset = joined(h, 0, c).size();
    out.length = joined(h, c, h.size() - i).size();
    out.text = joined(w, c, w.size() - i);
    return out;
}

}  // namespace murmelo::PolishTyping
