#include "layout/LayoutWordShape.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutMaps.h"
#include "layout/WordChecks.h"

#include <algorithm>

namespace murmelo {

namespace {

const QString kEn = QStringLiteral("en");
const QString kRu = QStringLiteral("ru");

QSet<QChar> charSet(const char16_t* chars) {
    QSet<QChar> s;
    for (const char16_t* p = chars; *p; ++p) s.insert(QChar(*p));
    return s;
}

bool inSet(const QString& character, const QSet<QChar>& set) {
    return character.size() == 1 && set.contains(character.front());
}

bool allLetters(const QString& text) {
    if (text.isEmpty()) return false;
    for (const QString& c : wordChars(text))
        if (!isLetterChar(c)) return false;
    return true;
}

// The US keys whose legends are the six letter-typing punctuation signs.
bool isLetterTrailKey(char32_t legend) {
    return legend == U'.' || legend == U',' || legend == U';' || legend == U'\'' || legend == U'[' || legend == U']';
}

}  // namespace

namespace WordClasses {

const QSet<QChar>& punctAll() {
    static const QSet<QChar> s = charSet(u".,;:'\"!?()[]{}<>\u00AB\u00BB\u2026\u2014");
    return s;
}

const QSet<QChar>& punctPure() {
    static const QSet<QChar> s = charSet(u":\"!?()<>\u00AB\u00BB\u2026\u2014");
    return s;
}

const QSet<QChar>& punctLetterTrail() {
    static const QSet<QChar> s = charSet(u".,;'[]");
    return s;
}

const QSet<QChar>& ruVowels() {
    static const QSet<QChar> s = charSet(u"аеёиоуыэюя");
    return s;
}

const QHash<QString, QSet<QChar>>& soloWords() {
    static const QHash<QString, QSet<QChar>> s{{kRu, charSet(u"вискаоуябж")}, {kEn, charSet(u"ai")}};
    return s;
}

}  // namespace WordClasses

QStringList wordChars(const QString& text) {
    bool plain = true;
    for (QChar c : text) {
        if (c.isSurrogate() || c.isMark() || c == QLatin1Char('\r')) {
            plain = false;
            break;
        }
    }
    if (!plain) return graphemes(text);
    QStringList out;
    out.reserve(text.size());
    for (QChar c : text) out.append(QString(c));
    return out;
}

bool isLetterChar(const QString& character) {
    if (character.isEmpty()) return false;
    return QChar::isLetter(character.toUcs4().value(0));
}

bool LayoutWordShape::isWordOf(const QString& text, const QString& layout, bool caseVariant) const {
    return checks_.isRealWordInLayout(text, layout, caseVariant) == std::optional<bool>(true);
}

WordParts LayoutWordShape::splitAffixesPlain(const QString& word, const QSet<QChar>& edge) {
    const QStringList cs = wordChars(word);
    qsizetype head = 0;
    while (head < cs.size() && inSet(cs[head], edge)) ++head;
    if (head == cs.size()) return {word, {}, {}};
    qsizetype tail = cs.size();
    while (tail > head && inSet(cs[tail - 1], edge)) --tail;
    return {cs.mid(0, head).join(QString()), cs.mid(head, tail - head).join(QString()), cs.mid(tail).join(QString())};
}

WordParts LayoutWordShape::splitAffixes(const QString& word, const QSet<QChar>& edge,
                                        const std::optional<QString>& current, bool r44) const {
    if (current && leadingSignIsLetter(word, *current, r44)) return {{}, word, {}};
    return splitAffixesPlain(word, edge);
}

std::optional<QString> LayoutWordShape::leadingSignIsLetter(const QString& word, const QString& current,
                                                            bool enabled) const {
    if (!enabled || !engine_.isEnabled()) return std::nullopt;
    const QStringList cs = wordChars(word);
    if (cs.size() < LayoutRules::flippedIsWordMinLen) return std::nullopt;
    for (const QString& other : LayoutMaps::layoutOrder()) {
        if (other == current || !LayoutKeyTruth::letterOfOtherLayout(cs.front(), current, other)) continue;
        const std::optional<QString> reading = LayoutMaps::convert(word, current, other);
        if (reading && allLetters(*reading) && isWordOf(reading->toLower(), other, true)) return other;
    }
    return std::nullopt;
}

WordParts LayoutWordShape::peelSlashAffixes(const QString& word) {
    qsizetype head = 0;
    while (head < word.size() && word[head] == QLatin1Char('/')) ++head;
    qsizetype tail = word.size();
    while (tail > head && word[tail - 1] == QLatin1Char('/')) --tail;
    const QString body = word.mid(head, tail - head);
    const bool blocked = body.isEmpty() || std::any_of(body.cbegin(), body.cend(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('&') || c.isDigit();
    });
    if (blocked) return {{}, word, {}};
    return {word.left(head), body, word.mid(tail)};
}

std::pair<QString, QString> LayoutWordShape::peelDigitTail(const QString& core, const QString& layout) const {
    if (!engine_.rules().ruleDigitTail || layout != kRu) return {core, {}};
    const QStringList cs = wordChars(core);
    qsizetype cut = cs.size();
    auto tailChar = [](const QString& c) { return c == QLatin1String("-") || (c.size() == 1 && c.front().isDigit()); };
    while (cut > 0 && tailChar(cs[cut - 1])) --cut;
    const QString head = cs.mid(0, cut).join(QString());
    const QString tail = cs.mid(cut).join(QString());
    const bool hasDigit = std::any_of(tail.cbegin(), tail.cend(), [](QChar c) { return c.isDigit(); });
    if (tail.isEmpty() || cut < LayoutRules::digitTailMinLetters || !allLetters(head) || !hasDigit) return {core, {}};
    return {head, tail};
}

std::optional<std::pair<QString, QString>> LayoutWordShape::urlSchemeFlip(const QString& text, const QString& layout) {
    for (const QString& other : LayoutMaps::layoutOrder()) {
        if (other == layout) continue;
        const std::optional<QString> reading = LayoutMaps::convert(text, layout, other);
        if (reading && urlSchemes().contains(reading->toLower())) return std::pair{*reading, other};
    }
    return std::nullopt;
}

bool LayoutWordShape::isCommandShapedToken(const QString& word) {
    return word.startsWith(QLatin1Char('-')) || word.startsWith(QLatin1String("./")) ||
           word.startsWith(QLatin1String("~/")) || word.startsWith(QLatin1Char('%')) ||
           word.contains(QLatin1String("://")) || word.contains(QLatin1Char('$')) || word.contains(QLatin1Char('='));
}

std::pair<QString, QString> LayoutWordShape::peelCommandPrefix(const QString& word) {
    if (!word.startsWith(QLatin1Char('/'))) return {{}, word};
    const QString rest = word.mid(1);
    const bool plain = std::none_of(rest.cbegin(), rest.cend(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('&') || c.isDigit();
    });
    if (!plain) return {{}, word};
    return {QStringLiteral("/"), rest};
}

bool LayoutWordShape::innerMarkBlocksDict(const QString& word, const std::optional<QString>& current, bool enabled,
                                          bool r44) const {
    if (!enabled) return false;
    const QStringList cs = wordChars(word);
    qsizetype head = 0;
    if (!(current && leadingSignIsLetter(word, *current, r44))) {
        while (head < cs.size() && inSet(cs[head], WordClasses::punctAll())) ++head;
    }
    qsizetype tail = cs.size();
    while (tail > head && inSet(cs[tail - 1], WordClasses::punctAll())) --tail;
    for (qsizetype i = head; i < tail; ++i) {
        if (engine_.rules().ruleNonLetterCore) {
            if (!isLetterChar(cs[i]) && cs[i] != QLatin1String("-")) return true;
        } else if (inSet(cs[i], WordClasses::punctAll())) {
            return true;
        }
    }
    return false;
}

std::optional<std::pair<QString, QString>> LayoutWordShape::flippedReadingIsWord(const QString& word,
                                                                                  const QString& layout,
                                                                                  bool enabled) const {
    if (!enabled) return std::nullopt;
    const QStringList cs = wordChars(word);
    qsizetype cut = cs.size();
    while (cut > 0 && inSet(cs[cut - 1], WordClasses::punctLetterTrail())) --cut;
    if (cut < LayoutRules::flippedIsWordMinLen) return std::nullopt;
    const QString body = cs.mid(0, cut).join(QString());
    const QString trail = cs.mid(cut).join(QString());
    for (const QString& other : LayoutMaps::layoutOrder()) {
        if (other == layout || !LayoutKeyTruth::letterOfOtherLayout(cs.front(), layout, other)) continue;
        const std::optional<QString> whole = LayoutMaps::convert(word, layout, other);
        if (whole && allLetters(*whole) && isWordOf(whole->toLower(), other, true)) return std::pair{other, *whole};
        if (trail.isEmpty()) continue;
        const std::optional<QString> bodyReading = LayoutMaps::convert(body, layout, other);
        if (bodyReading && allLetters(*bodyReading) && isWordOf(bodyReading->toLower(), other, true))
            return std::pair{other, *bodyReading + trail};
    }
    return std::nullopt;
}

std::optional<QString> LayoutWordShape::capsAbbreviationSide(const QString& core, const QString& layout,
                                                             const QString& converted, const QString& other) const {
    if (!engine_.rules().ruleCapsAbbreviation) return std::nullopt;
    QStringList t = wordChars(core);
    QStringList u = wordChars(converted);
    while (t.size() > 1) {
        const std::optional<KeyStroke> key = LayoutMaps::forward(t.back().toUcs4().value(0), layout);
        if (!key || !isLetterTrailKey(key->legend)) break;
        t.removeLast();
        if (!u.isEmpty()) u.removeLast();
    }
    if (t.size() < LayoutRules::capsAbbreviationMinLen || t.size() > LayoutRules::capsAbbreviationMaxLen)
        return std::nullopt;
    for (const QString& c : t) {
        const char32_t cp = c.toUcs4().value(0);
        if (!QChar::isLetter(cp) || !QChar::isUpper(cp)) return std::nullopt;
    }
    const QString tw = t.join(QString());
    const QString uw = u.join(QString());
    if (!allLetters(uw)) return std::nullopt;
    const auto [ruWord, ruLayout] = layout == kEn ? std::pair{uw, other} : std::pair{tw, layout};
    if (checks_.isRealShortWordCurated(ruWord.toLower(), ruLayout, true) == std::optional<bool>(true))
        return std::nullopt;
    return layout == kEn ? layout : other;
}

QString LayoutWordShape::resolveEdgePunct(const QString& prefix, const QString& core, const QString& suffix,
                                          const QString& converted, const QString& from, const QString& to,
                                          bool r45) const {
    const QString kept = trailSignStaysAsTyped(core, converted, from, to, r45);
    const QString candidate = prefix + resolveTrailingPunct(core, kept, from, to) + suffix;
    const QString whole = prefix + core + suffix;
    if (to == kRu && std::any_of(whole.cbegin(), whole.cend(), [](QChar c) { return WordClasses::punctAll().contains(c); })) {
        // The edge signs may have been Russian letters all along.
        const std::optional<QString> reading = LayoutMaps::convert(whole, from, to);
        if (reading && allLetters(*reading) && isWordOf(reading->toLower(), to, false)) return *reading;
    }
    return candidate;
}

QString LayoutWordShape::trailSignStaysAsTyped(const QString& typed, const QString& converted, const QString& from,
                                               const QString& to, bool enabled) const {
    if (!enabled) return converted;
    const QStringList t = wordChars(typed);
    const QStringList c = wordChars(converted);
    if (t.isEmpty() || t.size() != c.size()) return converted;
    auto staysSign = [&](const QString& ch) {
        return !isLetterChar(ch) && inSet(ch, WordClasses::punctAll()) && ch != QLatin1String("'") &&
               !LayoutKeyTruth::letterOfOtherLayout(ch, from, to);
    };
    qsizetype run = 0;
    while (run < t.size() && staysSign(t[t.size() - 1 - run])) ++run;
    if (run == 0 || t.size() - run < LayoutRules::flippedIsWordMinLen) return converted;
    const QString tail = t.mid(t.size() - run).join(QString());
    const QString head = c.mid(0, c.size() - run).join(QString());
    const std::optional<QString> mirror = LayoutMaps::convert(tail, from, to);
    if (!mirror || *mirror == tail || !allLetters(head) || !isWordOf(head.toLower(), to, true)) return converted;
    logLine(QStringLiteral("layout/gate: ") + priv(typed) + QStringLiteral("->") + priv(converted) +
            QStringLiteral(" хвостовой знак «") + tail + QStringLiteral("» уже пунктуация, зеркало «") + *mirror +
            QStringLiteral("» не ставим -> ") + priv(head + tail) + QStringLiteral(" (R45)"));
    return head + tail;
}

QString LayoutWordShape::resolveTrailingPunct(const QString& typed, const QString& current, const QString& from,
                                              const QString& to) const {
    if (to != kRu || typed.isEmpty()) return current;
    const QStringList t = wordChars(typed);
    if (!inSet(t.back(), WordClasses::punctLetterTrail())) return current;
    const std::optional<QString> reading = LayoutMaps::convert(t.mid(0, t.size() - 1).join(QString()), from, to);
    if (!reading || reading->isEmpty() || WordClasses::ruVowels().contains(reading->back().toLower())) return current;
    // After a consonant the comma or full stop stays punctuation.
    return *reading + t.back();
}

}  // namespace murmelo
