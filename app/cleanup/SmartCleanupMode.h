#pragma once
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

namespace murmelo {

class Defaults;

// How much the clean-up engine may change a dictation.
enum class SmartCleanupMode {
    literal,
    clean,
    structured,
};

namespace SmartCleanupModes {

inline const QString MODE_KEY = QStringLiteral("smartCleanup.mode.v1");
inline const QString LITERAL_DEFAULT_KEY = QStringLiteral("smartCleanup.mode.literalDefault.v1");

QList<SmartCleanupMode> allCases();
QString rawValue(SmartCleanupMode mode);
// Exactly the three raw values; any other text is no mode.
std::optional<SmartCleanupMode> fromRawValue(const QString& raw);
// Fixed Russian texts: the menu and the settings show them whatever the interface language.
QString title(SmartCleanupMode mode);
QString subtitle(SmartCleanupMode mode);

// A mode is coded as its raw value; a value that is not one of the three strings does not
// decode.
QJsonValue toJson(SmartCleanupMode mode);
std::optional<SmartCleanupMode> fromJson(const QJsonValue& value);

}  // namespace SmartCleanupModes

// The user's mode; anything stored that is not "clean" or "structured" reads as literal and
// is left in place.
SmartCleanupMode currentSmartCleanupMode(const Defaults& defaults);
SmartCleanupMode currentSmartCleanupMode();
void setSmartCleanupMode(SmartCleanupMode mode, Defaults& defaults);
void setSmartCleanupMode(SmartCleanupMode mode);
// Once per installation: users who still had the earlier default "clean" move to literal.
void migrateSmartCleanupDefaultToLiteral(Defaults& defaults);
void migrateSmartCleanupDefaultToLiteral();

}  // namespace murmelo
