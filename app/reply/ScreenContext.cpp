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

QString ScreenContext::label() const { return appName + QStringLiteral(" · ") + rawValue(source); }

QString ScreenContextError::description() const {
    if (kind == blockedApp)
        return QStringLiteral("«") + detail +
               QStringLiteral("» — менеджер паролей: контекст с него не собирается. Вернись в окно, на которое отвечаешь, и повтори.");
    return QStringLiteral("Не нашёл текст, на который отвечать. ") + detail;
}

}  // namespace murmelo
