#include "cleanup/LangGuess.h"

#include "base/Graphemes.h"
#include "base/Log.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <unicode/uchar.h>

namespace murmelo {

RuFormsLookup::RuFormsLookup() {
    isReady = [] {
        static std::atomic_bool said{false};
        if (!said.exchange(true)) {
            logLine(QStringLiteral("LangGuess: словарь словоформ не подключён, язык определяется только по буквам"));
        }
        return false;
    };
    contains = [](const QString&) { return false; };
}

namespace LangGuess {
namespace {

const QString RU_ONLY = QStringLiteral("ыэёЫЭЁ");
const QString UK_ONLY = QStringLiteral("іїєґІЇЄҐ");
const QString SOUTH_SLAVIC = QStringLiteral("јљњћђџѓќѕЈЉЊЋЂЏЃЌЅ");
const QString YER_FOLLOWERS = QStringLiteral("еёюя");

const QSet<QString>& bgWords() {
    static const QSet<QString> words = {
        QStringLiteral("ще"),        QStringLiteral("съм"),     QStringLiteral("сме"),      QStringLiteral("сте"),
        QStringLiteral("това"),      QStringLiteral("този"),    QStringLiteral("тази"),     QStringLiteral("тези"),
        QStringLiteral("какво"),     QStringLiteral("защо"),    QStringLiteral("къде"),     QStringLiteral("обаче"),
        QStringLiteral("защото"),    QStringLiteral("здравей"), QStringLiteral("здравейте"), QStringLiteral("утре"),
        QStringLiteral("днес"),      QStringLiteral("тук"),     QStringLiteral("сега"),     QStringLiteral("добре"),
        QStringLiteral("може"),      QStringLiteral("трябва"),  QStringLiteral("бъде"),     QStringLiteral("искам"),
        QStringLiteral("отида"),     QStringLiteral("още"),     QStringLiteral("вече"),     QStringLiteral("благодаря"),
        QStringLiteral("моля"),      QStringLiteral("довиждане"),
    };
    return words;
}

char32_t firstScalar(const QString& character) {
    if (character.isEmpty()) return 0;
    if (character.size() > 1 && QChar::isHighSurrogate(character[0].unicode()) && QChar::isLowSurrogate(character[1].unicode())) {
        return QChar::surrogateToUcs4(character[0], character[1]);
    }
    return character[0].unicode();
}

// A character is a letter or a digit by its first scalar, as the platform's character
// properties judge it.
bool isLetter(const QString& character) { return u_isUAlphabetic(UChar32(firstScalar(character))); }
bool isDigit(const QString& character) { return QChar::isDigit(firstScalar(character)) || QChar::isNumber(firstScalar(character)); }

// A single character of `set`, compared exactly (after NFC, so a decomposed "ё" is "ё").
bool isOneOf(const QString& character, const QString& set) {
    return character.size() == 1 && set.contains(character[0]);
}

enum class Script { cyrillic, latin, other };

Script scriptOf(char32_t c) {
    if (c >= 0x0400 && c <= 0x052F) return Script::cyrillic;
    if ((c >= 0x1E00 && c <= 0x1EFF) || (c >= 0x00C0 && c <= 0x024F) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
        return Script::latin;
    }
    return Script::other;
}

// The words the polish of typed text splits a text into: a word starts at a letter or
// digit and runs over letters, digits, "-" and the ASCII apostrophe; a trailing "-" or
// apostrophe is not part of it. Kept here as a private copy so that the language guess
// needs nothing above it.
QStringList punctuationWords(const QStringList& characters) {
    QStringList out;
    qsizetype i = 0;
    while (i < characters.size()) {
        const QString& c = characters[i];
        if (!(isLetter(c) || isDigit(c))) {
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < characters.size()) {
            const QString& d = characters[end];
            if (isLetter(d) || isDigit(d) || d == QLatin1String("-") || d == QLatin1String("'")) {
                ++end;
            } else {
                break;
            }
        }
        qsizetype last = end;
        while (last > i + 1 && (characters[last - 1] == QLatin1String("-") || characters[last - 1] == QLatin1String("'"))) --last;
        out.append(characters.mid(i, last - i).join(QString()));
        i = end;
    }
    return out;
}

bool hasRussianLetter(const QString& word) {
    for (const QChar c : word) {
        const char16_t u = c.unicode();
        if ((u >= u'а' && u <= u'я') || u == u'ё') return true;
    }
    return false;
}

// A hard sign before anything but е, ё, ю, я (or at the very end) is Bulgarian usage;
// Russian writes it only before those four, as in "объявление" and "подъезд".
bool hasBulgarianYer(const QString& lowered) {
    const QStringList characters = graphemes(lowered);
    for (qsizetype i = 0; i < characters.size(); ++i) {
        if (characters[i] != QStringLiteral("ъ")) continue;
        const QString next = i + 1 < characters.size() ? characters[i + 1] : QStringLiteral(" ");
        if (!isOneOf(next, YER_FOLLOWERS)) return true;
    }
    return false;
}

}  // namespace

QString rawValue(Verdict verdict) {
    switch (verdict) {
    case Verdict::ru: return QStringLiteral("ru");
    case Verdict::cyrillicNotRu: return QStringLiteral("cyrillicNotRu");
    case Verdict::latin: return QStringLiteral("latin");
    case Verdict::other: return QStringLiteral("other");
    case Verdict::unknown: return QStringLiteral("unknown");
    }
    return QStringLiteral("unknown");
}

Result classify(const QString& input, std::optional<bool> dictionaryReady) {
    const QString text = input.normalized(QString::NormalizationForm_C);
    const QStringList characters = graphemes(text);

    bool ruOnly = false, ukOnly = false, southSlavic = false;
    int cyrillic = 0, latin = 0, other = 0;
    for (const QString& c : characters) {
        if (!isLetter(c)) continue;
        ruOnly = ruOnly || isOneOf(c, RU_ONLY);
        ukOnly = ukOnly || isOneOf(c, UK_ONLY);
        southSlavic = southSlavic || isOneOf(c, SOUTH_SLAVIC);
        switch (scriptOf(firstScalar(c))) {
        case Script::cyrillic: ++cyrillic; break;
        case Script::latin: ++latin; break;
        case Script::other: ++other; break;
        }
    }

    const int total = cyrillic + latin + other;
    if (total < MIN_LETTERS) return {Verdict::unknown, -1.0};
    if (double(other) / total >= SCRIPT_SHARE) return {Verdict::other, -1.0};
    if (double(latin) / total >= SCRIPT_SHARE) return {Verdict::latin, -1.0};
    if (cyrillic == 0) return {Verdict::unknown, -1.0};

    const bool mixed = cyrillic < 2 * latin;
    if (southSlavic || ukOnly || mixed) return {mixed ? Verdict::unknown : Verdict::cyrillicNotRu, -1.0};

    if (hasBulgarianYer(text.toLower())) return {Verdict::cyrillicNotRu, -1.0};

    QStringList cyrillicWords;
    for (const QString& w : punctuationWords(characters)) {
        const QString lower = w.toLower();
        if (graphemeCount(lower) >= 2 && hasRussianLetter(lower)) cyrillicWords.append(lower);
    }

    QSet<QString> bulgarian;
    for (const QString& w : cyrillicWords) {
        if (bgWords().contains(w)) bulgarian.insert(w);
    }
    if (bulgarian.size() >= 2) return {Verdict::cyrillicNotRu, -1.0};

    double ruShare = -1.0;
    if (cyrillicWords.size() >= MIN_WORDS) {
        RuFormsLookup& lexicon = RuFormsLookup::shared();
        const bool ready = dictionaryReady.has_value() ? *dictionaryReady : lexicon.isReady();
        if (ready) {
            int known = 0;
            for (const QString& w : cyrillicWords) {
                if (lexicon.contains(w) || lexicon.contains(QString(w).replace(u'ё', u'е'))) ++known;
            }
            ruShare = double(known) / double(cyrillicWords.size());
            if (ruShare >= RU_SHARE_HIGH) return {Verdict::ru, ruShare};
            if (ruShare <= RU_SHARE_LOW) return {Verdict::cyrillicNotRu, ruShare};
        }
    }
    return {ruOnly ? Verdict::ru : Verdict::unknown, ruShare};
}

}  // namespace LangGuess
}  // namespace murmelo
