#include "input/UnicodeSender.h"

#include "input/SyntheticInputPostGate.h"

#include "base/Graphemes.h"

namespace murmelo {

std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin) {
    if (text.isEmpty()) return std::nullopt;
    const TextWriteTraceToken token = TextWriteTrace::begin(text, TextWriteRoute::directUnicode, origin);
    int posted = 0;
    for (const QString& character : graphemes(text)) {
        posted += SyntheticInputPostGate::post({0, true, 0, character, SYNTHETIC_MARK});
        posted += SyntheticInputPostGate::post({0, false, 0, character, SYNTHETIC_MARK});
    }
    TextWriteTrace::finish(token, [posted] { return QStringLiteral("posted-events-%1").arg(posted); });
    if (posted == 0) return std::nullopt;
    return token;
}

}  // namespace murmelo
