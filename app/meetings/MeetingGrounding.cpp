#include "meetings/MeetingGrounding.h"

#include "base/Graphemes.h"

#include <QSet>

namespace murmelo::MeetingGrounding {
namespace {

bool isLatinLetter(const QString& character) {
    if (character.size() != 1) return false;
    const QChar c = character.front();
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

bool isLetterOrNumber(const QString& character) {
    if (character.isEmpty()) return false;
    const char32_t first = character.toUcs4().value(0);
    return QChar::isLetterOrNumber(first);
}

bool isUpper(const QString& character) {
    const char32_t first = character.toUcs4().value(0);
    return QChar::isUpper(first) || QChar::isTitleCase(first);
}

QString trimStops(QString text) {
    while (text.startsWith(QLatin1Char('.'))) text.remove(0, 1);
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
}

}  // namespace

QStringList properNouns(const QString& line) {
    QStringList names;
    QStringList token;  // characters
    bool sentenceStart = true;
    auto flush = [&] {
        const QString word = trimStops(token.join(QString()));
        token.clear();
        const QStringList characters = graphemes(word);
        if (characters.size() < 3) return;
        const QString& first = characters.front();
        if (isLatinLetter(first)) {
            if (isUpper(first)) names << word;
        } else if (isUpper(first) && !sentenceStart) {
            names << word;
        }
    };
    for (const QString& c : graphemes(line)) {
        if (isLetterOrNumber(c)) {
            token << c;
            continue;
        }
        // A Latin word keeps its dots: "Mr." or "node.js" do not end a sentence.
        if (c == QStringLiteral(".") && !token.isEmpty() && isLatinLetter(token.front())) {
            token << c;
            continue;
        }
        if (!token.isEmpty()) {
            flush();
            sentenceStart = false;
        }
        if (c == QStringLiteral(".") || c == QStringLiteral("!") || c == QStringLiteral("?") || c == QStringLiteral(":"))
            sentenceStart = true;
    }
    if (!token.isEmpty()) flush();
    return names;
}

bool isGrounded(const QString& name, const QString& haystack) {
    const QString key = trimStops(name.toLower());
    if (key.isEmpty()) return true;
    QStringList characters = graphemes(key);
    if (isLatinLetter(characters.front())) return haystack.contains(key);
    for (;;) {
        if (haystack.contains(characters.join(QString()))) return true;
        if (characters.size() <= MIN_STEM) return false;
        characters.removeLast();
    }
}

QStringList ungrounded(const QString& notes, const QString& transcript, const QString& glossary) {
    const QString haystack = (transcript + QLatin1Char('\n') + glossary).toLower();
    QStringList out;
    QSet<QString> reported;
    for (const QString& line : notes.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('#'))) continue;
        for (const QString& name : properNouns(line)) {
            if (isGrounded(name, haystack) || reported.contains(name.toLower())) continue;
            reported.insert(name.toLower());
            out << name;
        }
    }
    return out;
}

}  // namespace murmelo::MeetingGrounding
