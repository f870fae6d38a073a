#include "settings/SettingsSeam.h"

#include "base/Log.h"
#include "settings/Appearance.h"
#include "settings/PrefsWindow.h"

namespace murmelo {

SettingsSeam::SettingsSeam() {
    appearanceApply = [] { Appearance::apply(); };
    appearanceCurrent = [] { return AppAppearances::rawValue(Appearance::current()); };
    prefsWindowShow = [](const QString& tab) {
        const auto page = PrefsTabs::fromName(tab);
        if (!page) logLine(QStringLiteral("настройки: неизвестная страница «") + tab + QStringLiteral("» — открываю основную"));
        PrefsWindow::shared().show(page.value_or(PrefsTab::home));
    };
}

}  // namespace murmelo
