#include "reply/ReplyPersonalizationGuard.h"

#include "base/Graphemes.h"
#include "dictation/DictationNeighbours.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <functional>

namespace murmelo::ReplyPersonalizationGuard {
namespace {

struct Greeting {
    const char16_t* word;
    const char16_t* replacement;
};
constexpr std::array<Greeting, 10> GREETINGS{{
    {u"здравствуйте", u"Здравствуйте!"},
    {u"уважаемый", u"Здравствуйте!"},
    {u"уважаемая", u"Здравствуйте!"},
    {u"дорогой", u"Здравствуйте!"},
    {u"дорогая", u"Здравствуйте!"},
    {u"привет", u"Привет!"},
    {u"dear", u"Hello,"},
    {u"hello", u"Hello,"},
    {u"hi", u"Hello,"},
    {u"hey", u"Hello,"},
}};

// Already folded.
constexpr std::array<const char16_t*, 11> SIGN_OFFS{u"best",     u"best regards", u"kind regards",  u"regards",
                                                     u"sincerely", u"thanks",      u"thank you",     u"с уважением",
                                                     u"спасибо",  u"всего доброго", u"до связи"};
constexpr std::array<char16_t, 3> SIGN_OFF_SEPARATORS{u',', u'\u2014', u'-'};
constexpr std::array<const char16_t*, 8> TITLES{u"mr", u"mrs", u"ms", u"miss", u"dr", u"prof", u"г-н", u"г-жа"};

using CharSet = std::function<bool(char32_t)>;

bool isWhite(char32_t c) { return c == u'\t' || QChar::category(c) == QChar::Separator_Space; }
bool isLineBreak(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }
bool isWhiteOrBreak(char32_t c) { return isWhite(c) || isLineBreak(c); }
CharSet literal(const char16_t* chars) {
    const QString set = QString::fromUtf16(chars);
    return [set](char32_t c) { return c < 0x10000 && set.contains(QChar(static_cast<char16_t>(c))); };
}
CharSet either(CharSet a, CharSet b) { return [a, b](char32_t c) { return a(c) || b(c); }; }

// Code points, so that a character outside the basic plane is tested whole.
char32_t pointAt(const QString& s, qsizetype i) {
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(s[i], s[i + 1]);
    return s[i].unicode();
}
char32_t pointBefore(const QString& s, qsizetype end) {
    if (end >= 2 && s[end - 1].isLowSurrogate() && s[end - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(s[end - 2], s[end - 1]);
    return s[end - 1].unicode();
}
qsizetype width(char32_t c) { return c >= 0x10000 ? 2 : 1; }

QString trim(const QString& s, const CharSet& set) {
    qsizetype start = 0, end = s.size();
    while (start < end && set(pointAt(s, start))) start += width(pointAt(s, start));
    while (end > start && set(pointBefore(s, end))) end -= width(pointBefore(s, end));
    return s.mid(start, end - start);
}
QString trimWhite(const QString& s) { return trim(s, isWhite); }
QString trimAll(const QString& s) { return trim(s, isWhiteOrBreak); }

bool isSignOff(const QString& folded) {
    return std::any_of(SIGN_OFFS.begin(), SIGN_OFFS.end(),
                       [&](const char16_t* phrase) { return folded == QString::fromUtf16(phrase); });
}

QString signOffHead(const QString& s) { return fold(trim(s, either(literal(u",.! "), isLineBreak))); }

}  // namespace

QString fold(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size();) {
        const char32_t c = pointAt(decomposed, i);
        const qsizetype w = width(c);
        if (QChar::category(c) != QChar::Mark_NonSpacing) out += decomposed.mid(i, w);
        i += w;
    }
    return out.toCaseFolded();
}

bool looksLikeName(const QString& text) {
    const QString trimmed = trim(text, either(isWhiteOrBreak, literal(u"!,.:")));
    QStringList words;
    QString word;
    for (qsizetype i = 0; i < trimmed.size();) {
        const char32_t c = pointAt(trimmed, i);
        const qsizetype w = width(c);
        if (isWhiteOrBreak(c)) {
            if (!word.isEmpty()) words << word;
            word.clear();
        } else {
            word += trimmed.mid(i, w);
        }
        i += w;
    }
    if (!word.isEmpty()) words << word;
    if (words.isEmpty() || words.size() > 4) return false;
    bool named = false;
    for (const QString& raw : words) {
        const QString w = trim(raw, literal(u".,'\u2019-"));
        if (w.isEmpty()) continue;
        const QString lower = w.toLower();
        if (std::any_of(TITLES.begin(), TITLES.end(), [&](const char16_t* t) { return lower == QString::fromUtf16(t); }))
            continue;
        std::optional<char32_t> letter;
        for (qsizetype i = 0; i < w.size(); i += width(pointAt(w, i)))
            if (QChar::isLetter(pointAt(w, i))) {
                letter = pointAt(w, i);
                break;
            }
        if (!letter || !QChar::isUpper(*letter)) return false;
        named = true;
    }
    return named;
}

std::optional<QString> neutralizedNamedGreeting(const QString& line) {
    const QString trimmed = trimAll(line);
    const QString folded = fold(trimmed);
    for (const Greeting& g : GREETINGS) {
        const QString word = QString::fromUtf16(g.word);
        if (!folded.startsWith(fold(word))) continue;
        // Characters as the reader sees them: a letter written decomposed is still one.
        QString rest = trimAll(trimmed.mid(firstGraphemes(trimmed, graphemeCount(word)).size()));
        while (!rest.isEmpty() && QStringLiteral(",:;-").contains(rest[0])) rest = trimAll(rest.mid(1));
        const QString candidate = trim(rest, either(isWhite, literal(u"!,.:")));
        if (looksLikeName(candidate)) return QString::fromUtf16(g.replacement);
    }
    return std::nullopt;
}

std::optional<QString> neutralizedInlineSignOff(const QString& line, const QString& configuredSignature) {
    const QString trimmed = trimAll(line);
    for (const char16_t separator : SIGN_OFF_SEPARATORS) {
        const qsizetype at = trimmed.lastIndexOf(QChar(separator));
        if (at < 0) continue;
        const QString head = trimmed.left(at);
        const QString tail = trimAll(trimmed.mid(at + 1));
        if (!isSignOff(signOffHead(head)) || !looksLikeName(tail)) continue;
        const QString signature = trimAll(configuredSignature);
        // The line already carries the user's own signature.
        if (tail == signature) return std::nullopt;
        const QString kept = trimAll(head) + QChar(separator);
        return signature.isEmpty() ? kept : kept + u' ' + signature;
    }
    return std::nullopt;
}

QString promptRule(const std::optional<ScreenContextSource>& contextSource, ReplyTaskKind task) {
    if (task != ReplyTaskKind::reply || !contextSource || !isWholeWindow(*contextSource)) return {};
    return QStringLiteral(
        "The screen context is a noisy whole-window capture and does not establish the current correspondent's "
        "identity.\n"
        "Never address the recipient by name, surname, title, or honorific. Use a neutral greeting without a name.\n"
        "Do not infer a name from inbox rows, sidebars, navigation, signatures, quoted history, or other people "
        "visible in the window.");
}

QuickReplyResult apply(const QuickReplyResult& result, ScreenContextSource contextSource, ReplyTaskKind task,
                       const QString& configuredSignature) {
    if (task != ReplyTaskKind::reply || !isWholeWindow(contextSource)) return result;
    QStringList lines = result.reply.split(u'\n');
    bool greetingChanged = false, signOffChanged = false;

    const auto firstFilled = std::find_if(lines.begin(), lines.end(), [](const QString& l) { return !trimWhite(l).isEmpty(); });
    if (firstFilled != lines.end())
        if (const auto neutral = neutralizedNamedGreeting(*firstFilled)) {
            *firstFilled = *neutral;
            greetingChanged = true;
        }
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (trimWhite(lines[i]).isEmpty()) continue;
        if (const auto neutral = neutralizedInlineSignOff(lines[i], configuredSignature)) {
            lines[i] = *neutral;
            signOffChanged = true;
        }
        break;
    }
    QList<qsizetype> filled;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!trimAll(lines[i]).isEmpty()) filled << i;
    if (filled.size() >= 2) {
        const qsizetype signOffAt = filled[filled.size() - 2], nameAt = filled.last();
        if (isSignOff(signOffHead(lines[signOffAt])) && looksLikeName(lines[nameAt])) {
            const QString signature = trimAll(configuredSignature);
            if (signature.isEmpty()) {
                lines.removeAt(nameAt);
                signOffChanged = true;
            } else if (trimAll(lines[nameAt]) != signature) {
                lines[nameAt] = signature;
                signOffChanged = true;
            }
        }
    }
    if (!greetingChanged && !signOffChanged) return result;

    QuickReplyResult changed = result;
    changed.reply = trimAll(lines.join(u'\n'));
    changed.needsConfirmation = true;
    QStringList warnings;
    if (const QString old = trimAll(result.warning); !old.isEmpty()) warnings << old;
    if (greetingChanged) warnings << GREETING_WARNING;
    if (signOffChanged) warnings << SIGN_OFF_WARNING;
    changed.warning = warnings.join(u' ');
    return changed;
}

}  // namespace murmelo::ReplyPersonalizationGuard
