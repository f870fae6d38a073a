#pragma once
#include "presence/DropPresenceWindows.h"

#include <QString>
#include <array>
#include <optional>

namespace murmelo {

// The window theme.
enum class AppAppearance { system, light, dark };
// The presence design: presence reads it as it shows itself, so the type lives there.
using AppOrbStyle = OrbDesign;

namespace AppAppearances {
inline constexpr std::array<AppAppearance, 3> allCases{AppAppearance::system, AppAppearance::light,
                                                       AppAppearance::dark};
QString rawValue(AppAppearance appearance);
// Exactly a raw value: no trimming, no case folding.
std::optional<AppAppearance> fromRaw(const QString& raw);
QString title(AppAppearance appearance);
}  // namespace AppAppearances

namespace AppOrbStyles {
inline constexpr std::array<AppOrbStyle, 2> allCases{AppOrbStyle::light, AppOrbStyle::water};
QString rawValue(AppOrbStyle style);
std::optional<AppOrbStyle> fromRaw(const QString& raw);
QString title(AppOrbStyle style);
}  // namespace AppOrbStyles

namespace Appearance {
inline const QString key = QStringLiteral("appearance");
// "light" and "dark" as stored; anything else, a missing value included, is system. An unknown
// value stays in the file until the user picks.
AppAppearance current();
// Stores, logs "оформление: " + the raw value, and applies at once.
void setCurrent(AppAppearance appearance);
// The stored theme made real: the application palette. "system" asks the desktop (no answer
// means light) and follows its changes while it stays chosen.
void apply();
// Whether our windows are dark now.
bool windowsAreDark();
}  // namespace Appearance

namespace OrbStyle {
inline const QString key = QStringLiteral("orbStyle");
inline constexpr AppOrbStyle defaultStyle = AppOrbStyle::light;
AppOrbStyle current();
// Stores, logs "дизайн Ondrix: " + the raw value, and shows the presence again, which draws the
// new design.
void setCurrent(AppOrbStyle style);
}  // namespace OrbStyle

// The name of a hotkey's key in the settings pickers; "без клавиши" for a switched-off or
// unknown key.
QString settingsHotkeyTitle(qint64 keyCode);

}  // namespace murmelo
