#include "settings/Appearance.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/HotkeyDef.h"
#include "platform/ColorScheme.h"
#include "presence/PresenceSeam.h"
#include "ui/AppPalette.h"

namespace murmelo {

namespace AppAppearances {

QString rawValue(AppAppearance appearance) {
    switch (appearance) {
    case AppAppearance::light: return QStringLiteral("light");
    case AppAppearance::dark: return QStringLiteral("dark");
    case AppAppearance::system: break;
    }
    return QStringLiteral("system");
}

std::optional<AppAppearance> fromRaw(const QString& raw) {
    for (AppAppearance a : allCases)
        if (rawValue(a) == raw) return a;
    return std::nullopt;
}

QString title(AppAppearance appearance) {
    switch (appearance) {
    case AppAppearance::light: return L(QStringLiteral("prefs.appearance.light"), QStringLiteral("Светлая"));
    case AppAppearance::dark: return L(QStringLiteral("prefs.appearance.dark"), QStringLiteral("Тёмная"));
    case AppAppearance::system: break;
    }
    return L(QStringLiteral("prefs.appearance.system"), QStringLiteral("Как в системе"));
}

}  // namespace AppAppearances

namespace AppOrbStyles {

QString rawValue(AppOrbStyle style) {
    return style == AppOrbStyle::water ? QStringLiteral("water") : QStringLiteral("light");
}

std::optional<AppOrbStyle> fromRaw(const QString& raw) {
    for (AppOrbStyle s : allCases)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

QString title(AppOrbStyle style) {
    return style == AppOrbStyle::water
               ? L(QStringLiteral("prefs.appearance.design.water"), QStringLiteral("Капля воды"))
               : L(QStringLiteral("prefs.appearance.design.light"), QStringLiteral("Свет"));
}

}  // namespace AppOrbStyles

namespace Appearance {

namespace {

bool darkFor(AppAppearance appearance) {
    switch (appearance) {
    case AppAppearance::light: return false;
    case AppAppearance::dark: return true;
    case AppAppearance::system: break;
    }
    return ColorScheme::shared().prefersDark().value_or(false);
}

}  // namespace

AppAppearance current() {
    // stringValue gives nothing for a value of another kind: that, too, is system.
    const QString stored = Defaults::shared().stringValue(key).value_or(QString());
    if (stored == QStringLiteral("light")) return AppAppearance::light;
    if (stored == QStringLiteral("dark")) return AppAppearance::dark;
    return AppAppearance::system;
}

void setCurrent(AppAppearance appearance) {
    Defaults::shared().set(key, AppAppearances::rawValue(appearance));
    logLine(QStringLiteral("оформление: ") + AppAppearances::rawValue(appearance));
    apply();
}

void apply() {
    // The desktop's scheme matters only while the user lets the system choose.
    ColorScheme::shared().setChangeHandler([] {
        if (current() == AppAppearance::system) AppPalette::setDark(darkFor(AppAppearance::system));
    });
    AppPalette::setDark(darkFor(current()));
}

bool windowsAreDark() { return AppPalette::isDark(); }

}  // namespace Appearance

namespace OrbStyle {

AppOrbStyle current() { return currentOrbDesign(); }

void setCurrent(AppOrbStyle style) {
    Defaults::shared().set(key, AppOrbStyles::rawValue(style));
    logLine(QStringLiteral("дизайн Ondrix: ") + AppOrbStyles::rawValue(style));
    PresenceSeam::shared().presenceStyleApply();
}

}  // namespace OrbStyle

QString settingsHotkeyTitle(qint64 keyCode) {
    // Right Super stands where the right Control key of the original keyboard was; it is
    // never offered as a hotkey but may be stored by hand.
    if (keyCode == 62) return L(QStringLiteral("onboard.key.rightControl"), QStringLiteral("правый Super"));
    for (const HotkeyDef& d : HOTKEY_OPTIONS())
        if (d.code == keyCode) return hotkeyTitle(d);
    return L(QStringLiteral("onboard.key.none"), QStringLiteral("без клавиши"));
}

}  // namespace murmelo
