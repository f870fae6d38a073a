#include "input/UnicodeSender.h"

#include "input/SyntheticInputPostGate.h"

#include <QTextBoundaryFinder>

namespace murmelo {

std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin) {
    if (text.isEmpty()) return std::nullopt;
    const TextWriteTraceToken token = TextWriteTrace::begin(text, TextWriteRoute::directUnicode, origin);
    int posted = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end <= start) continue;
        const QString character = text.mid(start, end - start);
        start = end;
        posted += SyntheticInputPostGate::post({0, true, 0, character, SYNTHETIC_MARK});
        posted += SyntheticInputPostGate::post({0, false, 0, character, SYNTHETIC_MARK});
    }
    TextWriteTrace::finish(token, [posted] { return QStringLiteral("posted events=%1").arg(posted); });
    if (posted == 0) return std::nullopt;
    return token;
}

}  // namespace murmelo
