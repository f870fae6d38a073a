#include "polish/PolishResult.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "cleanup/LangGuess.h"
#include "layout/RuForms.h"
#include "platform/InputSources.h"
#include "platform/Service.h"
#include "polish/LivePolish.h"
#include "polish/PolishSettings.h"
#include "polish/PunctuationMerge.h"

#include <algorithm>

namespace murmelo {

namespace {

bool isLineBreak(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }
bool isSentenceMark(char32_t c) { return c == u'.' || c == u'!' || c == u'?' || c == 0x2026; }

bool isWhiteSpaceCluster(const QString& g) {
    for (const QChar c : g)
        if (!c.isSpace()) return false;
    return !g.isEmpty();
}

bool firstIsLetter(const QString& g) { return !g.isEmpty() && QChar::isLetter(g.toUcs4().value(0)); }
bool firstIsUpper(const QString& g) { return !g.isEmpty() && QChar::isUpper(g.toUcs4().value(0)); }
bool firstIsLower(const QString& g) { return !g.isEmpty() && QChar::isLower(g.toUcs4().value(0)); }

// The language the keyboard types now: "ru", "en" or none.
std::optional<QString> currentLayoutId() {
    InputSources* sources = installedService<InputSources>();
    if (!sources) return std::nullopt;
    const auto current = sources->currentSource();
    if (!current) return std::nullopt;
    if (current->id == QLatin1String("com.apple.keylayout.Russian")) return QStringLiteral("ru");
    if (current->id == QLatin1String("com.apple.keylayout.US")) return QStringLiteral("en");
    return std::nullopt;
}

bool yoAllowed(const QString& chunk) {
    switch (LangGuess::classify(chunk, RuForms::isReady()).verdict) {
    case LangGuess::Verdict::ru: return true;
    case LangGuess::Verdict::cyrillicNotRu:
    case LangGuess::Verdict::latin:
    case LangGuess::Verdict::other: return false;
    case LangGuess::Verdict::unknown: return currentLayoutId() == QStringLiteral("ru");
    }
    return false;
}

}  // namespace

bool polishStartsSentence(const QString& text, qint64 position) {
    qint64 i = std::clamp<qint64>(position, 0, text.size());
    while (i > 0) {
        const QChar c = text[i - 1];
        if (c == u'\t' || c.category() == QChar::Separator_Space) {
            --i;
            continue;
        }
        if (c.isSurrogate()) return false;
        return isSentenceMark(c.unicode()) || isLineBreak(c.unicode());
    }
    return true;
}

PolishContext polishContext(const QString& chunk, const QString& text, qint64 position) {
    return PolishContext{true, polishStartsSentence(text, position), yoAllowed(chunk)};
}

QString keepingCaseAfterComma(const QString& author, const QString& fixed) {
    QStringList a = graphemes(author), f = graphemes(fixed);
    auto wordStarts = [](const QStringList& chars) {
        QList<int> starts;
        bool inWord = false;
        for (int i = 0; i < chars.size(); ++i) {
            const bool letter = firstIsLetter(chars[i]);
            if (!inWord && letter) starts << i;
            inWord = letter || (inWord && chars[i] == QLatin1String("-"));
        }
        return starts;
    };
    const QList<int> aw = wordStarts(a), fw = wordStarts(f);
    if (aw.size() != fw.size() || aw.isEmpty()) return fixed;
    for (int k = 0; k < fw.size(); ++k) {
        const int at = fw[k];
        if (!firstIsUpper(f[at]) || !firstIsLower(a[aw[k]]) || at == 0) continue;
        int j = at - 1;
        bool stop = false;
        while (j >= 0 && isWhiteSpaceCluster(f[j])) {
            for (const QChar c : f[j]) stop = stop || isLineBreak(c.unicode());
            --j;
        }
        if (stop || j < 0) continue;
        if (f[j].size() == 1 && isSentenceMark(f[j][0].unicode())) continue;
        f[at] = f[at].toLower();
    }
    return f.join(QString());
}

PolishResultValue polishResult(const QString& raw, const QString& model, PolishProtectedWords& words,
                               bool typedByHand, bool atSentenceStart, bool allowYo) {
    const QStringList chars = graphemes(raw);
    int lead = 0;
    while (lead < chars.size() && isWhiteSpaceCluster(chars[lead])) ++lead;
    int trailStart = chars.size();
    while (trailStart > lead && isWhiteSpaceCluster(chars[trailStart - 1])) --trailStart;
    const QString leadText = chars.mid(0, lead).join(QString());
    const QString trailText = lead == chars.size() ? leadText : chars.mid(trailStart).join(QString());

    const bool trusted = isPolishTrustModel();
    PunctuationMerge::MayReplace mayReplace;
    if (trusted) mayReplace = [&words](const QString& word) { return !words.polishProtects(word); };
    const PunctuationMerge::Result merged = PunctuationMerge::merge(raw, model, mayReplace, typedByHand, allowYo);
    if (trusted && merged.rejectedWords > 0)
        logLine(QStringLiteral("polish: словарь защитил ") + QString::number(merged.rejectedWords) +
                QStringLiteral(" слов человека"));
    if (!merged.applied) return {raw, merged.rejectedWords, false, trusted};

    QString s = merged.text;
    if (!atSentenceStart) {
        const QStringList rc = chars, sc = graphemes(s);
        auto firstSolid = [](const QStringList& cs) {
            for (int i = 0; i < cs.size(); ++i)
                if (!isWhiteSpaceCluster(cs[i])) return i;
            return -1;
        };
        const int ri = firstSolid(rc), si = firstSolid(sc);
        if (ri >= 0 && si >= 0 && firstIsLower(rc[ri]) && firstIsUpper(sc[si])) {
            QStringList out = sc;
            out[si] = out[si].toLower();
            s = out.join(QString());
        }
    }
    s = keepingCaseAfterComma(raw, s);
    return {leadText + s + trailText, merged.rejectedWords, true, trusted};
}

PolishResultValue polishForField(const QString& raw, const QString& model, const PolishContext& context,
                                 PolishProtectedWords& words) {
    PolishResultValue r = polishResult(raw, model, words, context.typedByHand, context.atSentenceStart, context.allowYo);
    r.text = stripAddedTerminator(raw, r.text);
    return r;
}

}  // namespace murmelo
