#include "reply/ScreenContext.h"

namespace murmelo {

QString rawValue(ScreenContextSource source) {
    switch (source) {
    case ScreenContextSource::axSelection: return QStringLiteral("выделение");
    case ScreenContextSource::axWindow: return QStringLiteral("текст окна");
    case ScreenContextSource::ocr: return QStringLiteral("снимок окна");
    case ScreenContextSource::clipboard: return QStringLiteral("буфер обмена");
    }
    return QStringLiteral("буфер обмена");
}

std::optional<ScreenContextSource> screenContextSourceFromRaw(const QString& raw) {
    for (const auto source : {ScreenContextSource::axSelection, ScreenContextSource::axWindow,
                              ScreenContextSource::ocr, ScreenContextSource::clipboard})
        if (rawValue(source) == raw) return source;
    return std::nullopt;
}

bool isWholeWindow(ScreenContextSource source) {
    return source == ScreenContextSource::axWindow || source == ScreenContextSource::ocr;
}

}  // namespace murmelo
