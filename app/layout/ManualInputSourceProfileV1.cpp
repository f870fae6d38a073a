#include "layout/ManualInputSourceProfileV1.h"

namespace murmelo::ManualInputSourceProfileV1 {

const QSet<QString>& supportedSourceIDs() {
    // A function-local static: built once, safely, on first use from any thread.
    static const QSet<QString> ids{englishUS, russianApple};
    return ids;
}

bool contains(const std::optional<QString>& sourceID) { return sourceID && supportedSourceIDs().contains(*sourceID); }

std::optional<QString> language(const std::optional<QString>& sourceID) {
    if (!sourceID) return std::nullopt;
    if (*sourceID == englishUS) return QStringLiteral("en");
    if (*sourceID == russianApple) return QStringLiteral("ru");
    return std::nullopt;
}

std::optional<QString> sourceID(const QString& language) {
    if (language == QLatin1String("en")) return englishUS;
    if (language == QLatin1String("ru")) return russianApple;
    return std::nullopt;
}

std::optional<QString> opposite(const std::optional<QString>& sourceID) {
    if (!sourceID) return std::nullopt;
    if (*sourceID == englishUS) return russianApple;
    if (*sourceID == russianApple) return englishUS;
    return std::nullopt;
}

}  // namespace murmelo::ManualInputSourceProfileV1
