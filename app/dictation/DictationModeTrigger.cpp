#include "dictation/DictationModeTrigger.h"

#include "cleanup/SmartCleanupProfileRegistry.h"
#include "dictation/LeadPhrase.h"

namespace murmelo::DictationModeTrigger {

const QList<Trigger>& russian() {
    static const QList<Trigger> list{
        {QStringLiteral("дословно"), SmartCleanupMode::literal},
        {QStringLiteral("как есть"), SmartCleanupMode::literal},
        {QStringLiteral("со знаками"), SmartCleanupMode::structured},
        {QStringLiteral("с пунктуацией"), SmartCleanupMode::structured},
        {QStringLiteral("структурой"), SmartCleanupMode::structured},
        {QStringLiteral("списком"), SmartCleanupMode::structured},
    };
    return list;
}

const QMap<QString, QList<Trigger>>& byLanguage() {
    static const QMap<QString, QList<Trigger>> map{{QStringLiteral("ru"), russian()}};
    return map;
}

QList<Trigger> triggers(const std::optional<QString>& language, const std::optional<QString>& text) {
    if (!language || language->isEmpty()) return russian();
    const QString code = SmartCleanupProfileRegistry::languageCode(*language);
    if (text && !SmartCleanupProfileRegistry::agreesWithText(code, *text)) return {};
    return byLanguage().value(code);
}

std::optional<Detection> detect(const QString& text, const std::optional<QString>& language) {
    const QList<Trigger> list = triggers(language, text);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    const QString lower = trimmed.toLower();
    for (const Trigger& t : list) {
        std::optional<QString> after = afterLeadPhrase(trimmed, lower, t.phrase);
        if (!after) continue;
        QString rest = *std::move(after);
        if (rest.isEmpty()) return std::nullopt;
        if (trimmed[0].isUpper() && rest[0].isLower()) rest[0] = rest[0].toUpper();
        return Detection{t.mode, rest};
    }
    return std::nullopt;
}

}  // namespace murmelo::DictationModeTrigger
