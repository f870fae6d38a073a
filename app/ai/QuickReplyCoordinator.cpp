#include "ai/QuickReplyCoordinator.h"

#include "base/Graphemes.h"
#include "base/Regex.h"

#include <QSet>
#include <algorithm>

namespace murmelo::QuickReplyCoordinator {

namespace {

bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return u == 0x000A || u == 0x000B || u == 0x000C || u == 0x000D || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

const Regex& numberPattern() {
    static const Regex re = Regex::compile(
        QStringLiteral(R"((?i)(?<![\p{L}\p{N}])(?:\d[\d\s.,:/-]*\d|\d)(?:st|nd|rd|th)?(?![\p{L}\p{N}]))"));
    return re;
}

QStringList numbersIn(const QString& text) {
    QStringList out;
    for (const Regex::Match& m : numberPattern().matches(text)) {
        QString n = m.captured(text).toLower();
        n.remove(QChar(u' '));
        for (const char* suffix : {"st", "nd", "rd", "th"})
            if (n.endsWith(QLatin1String(suffix))) {
                n.chop(2);
                break;
            }
        out << n;
    }
    return out;
}

}  // namespace

QString normalizedDisplayTitle(const QString& title, const QString& fallback) {
    QString line;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= title.size(); ++i) {
        if (i < title.size() && !isLineBreak(title.at(i))) continue;
        if (i > start) {
            line = title.mid(start, i - start);
            break;
        }
        start = i + 1;
    }
    const QString collapsed = line.simplified();
    if (collapsed.isEmpty() || genericTitles.contains(collapsed.toLower())) return fallback;
    return firstGraphemes(collapsed, 80);
}

QStringList unsupportedNumbers(const QString& generated, const QString& source) {
    const QStringList sourceList = numbersIn(source);
    const QSet<QString> supported(sourceList.begin(), sourceList.end());
    QStringList out;
    for (const QString& n : numbersIn(generated))
        if (!supported.contains(n) && !out.contains(n)) out << n;
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace murmelo::QuickReplyCoordinator
