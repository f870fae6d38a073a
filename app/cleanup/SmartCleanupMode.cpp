#include "cleanup/SmartCleanupMode.h"

#include "base/Defaults.h"

namespace murmelo {
namespace SmartCleanupModes {

QList<SmartCleanupMode> allCases() {
    return {SmartCleanupMode::literal, SmartCleanupMode::clean, SmartCleanupMode::structured};
}

QString rawValue(SmartCleanupMode mode) {
    switch (mode) {
    case SmartCleanupMode::literal: return QStringLiteral("literal");
    case SmartCleanupMode::clean: return QStringLiteral("clean");
    case SmartCleanupMode::structured: return QStringLiteral("structured");
    }
    return QStringLiteral("literal");
}

std::optional<SmartCleanupMode> fromRawValue(const QString& raw) {
    for (SmartCleanupMode mode : allCases()) {
        if (rawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

QString title(SmartCleanupMode mode) {
    switch (mode) {
    case SmartCleanupMode::literal: return QStringLiteral("Дословно");
    case SmartCleanupMode::clean: return QStringLiteral("Чисто");
    case SmartCleanupMode::structured: return QStringLiteral("Структурировано");
    }
    return {};
}

QString subtitle(SmartCleanupMode mode) {
    switch (mode) {
    case SmartCleanupMode::literal: return QStringLiteral("только распознавание");
    case SmartCleanupMode::clean: return QStringLiteral("оговорки, филлеры и явные списки");
    case SmartCleanupMode::structured: return QStringLiteral("плюс команды, числа и единицы");
    }
    return {};
}

QJsonValue toJson(SmartCleanupMode mode) { return rawValue(mode); }

std::optional<SmartCleanupMode> fromJson(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    return fromRawValue(value.toString());
}

}  // namespace SmartCleanupModes

SmartCleanupMode currentSmartCleanupMode(const Defaults& defaults) {
    const QString stored = defaults.stringValue(SmartCleanupModes::MODE_KEY).value_or(QString());
    if (stored == QLatin1String("clean")) return SmartCleanupMode::clean;
    if (stored == QLatin1String("structured")) return SmartCleanupMode::structured;
    return SmartCleanupMode::literal;
}

SmartCleanupMode currentSmartCleanupMode() { return currentSmartCleanupMode(Defaults::shared()); }

void setSmartCleanupMode(SmartCleanupMode mode, Defaults& defaults) {
    defaults.set(SmartCleanupModes::MODE_KEY, SmartCleanupModes::rawValue(mode));
}

void setSmartCleanupMode(SmartCleanupMode mode) { setSmartCleanupMode(mode, Defaults::shared()); }

void migrateSmartCleanupDefaultToLiteral(Defaults& defaults) {
    if (defaults.boolValue(SmartCleanupModes::LITERAL_DEFAULT_KEY)) return;
    // The flag goes first, so the migration never runs twice whatever happens after it.
    defaults.set(SmartCleanupModes::LITERAL_DEFAULT_KEY, true);
    const std::optional<QString> stored = defaults.stringValue(SmartCleanupModes::MODE_KEY);
    if (!stored) return;
    if (*stored == QLatin1String("clean")) defaults.set(SmartCleanupModes::MODE_KEY, QStringLiteral("literal"));
}

void migrateSmartCleanupDefaultToLiteral() { migrateSmartCleanupDefaultToLiteral(Defaults::shared()); }

}  // namespace murmelo
