#include "settings/PrefsState.h"

#include "base/Localization.h"

namespace murmelo {

namespace PrefsTabs {

std::optional<PrefsTab> fromRaw(qint64 raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return PrefsTab(raw);
}

QString title(PrefsTab tab) {
    switch (tab) {
    case PrefsTab::appearance: return L(QStringLiteral("prefs.tab.appearance"), QStringLiteral("Оформление"));
    case PrefsTab::dictation: return L(QStringLiteral("prefs.tab.dictation"), QStringLiteral("Диктовка"));
    case PrefsTab::history: return L(QStringLiteral("prefs.tab.history"), QStringLiteral("История"));
    case PrefsTab::meetings: return L(QStringLiteral("prefs.tab.meetings"), QStringLiteral("Встречи"));
    case PrefsTab::app: return L(QStringLiteral("prefs.tab.app"), QStringLiteral("Приложение"));
    case PrefsTab::home: break;
    }
    return L(QStringLiteral("prefs.app.section.general"), QStringLiteral("Основное"));
}

QString icon(PrefsTab tab) {
    switch (tab) {
    case PrefsTab::appearance: return QStringLiteral("paintbrush");
    case PrefsTab::dictation: return QStringLiteral("waveform");
    case PrefsTab::history: return QStringLiteral("archivebox");
    case PrefsTab::meetings: return QStringLiteral("video");
    case PrefsTab::app: return QStringLiteral("gearshape");
    case PrefsTab::home: break;
    }
    return QStringLiteral("slider.horizontal.3");
}

QString name(PrefsTab tab) {
    switch (tab) {
    case PrefsTab::appearance: return QStringLiteral("appearance");
    case PrefsTab::dictation: return QStringLiteral("dictation");
    case PrefsTab::history: return QStringLiteral("history");
    case PrefsTab::meetings: return QStringLiteral("meetings");
    case PrefsTab::app: return QStringLiteral("app");
    case PrefsTab::home: break;
    }
    return QStringLiteral("home");
}

std::optional<PrefsTab> fromName(const QString& tabName) {
    for (PrefsTab tab : allCases)
        if (name(tab) == tabName) return tab;
    return std::nullopt;
}

}  // namespace PrefsTabs

PrefsState::PrefsState() {
#define MURMELO_PREFS_INIT(Type, name, setter, initial) name##_ = initial;
    MURMELO_PREFS_FIELDS(MURMELO_PREFS_INIT)
#undef MURMELO_PREFS_INIT
}

void PrefsState::selectStatistics(const QDateTime& at) {
    setStatsMonth(at);
    setStatsRevision(statsRevision() + 1);
    setShowsStatistics(true);
}

}  // namespace murmelo
