#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the settings window. Until that subsystem
// is built each entry does nothing or answers its empty value; its library fills them.
struct SettingsSeam {
    static SettingsSeam& shared() { return sharedService<SettingsSeam>(); }
    std::function<void()> appearanceApply = unbuilt("appearanceApply");
    // Nothing stores an appearance yet: say which one applies and why, rather than a value
    // read from nowhere.
    std::function<QString()> appearanceCurrent = [] {
        return QStringLiteral("system (по умолчанию — настроек оформления в сборке ещё нет)");
    };
    // tab: "appearance", "dictation", "history", "meetings", "app" or "home".
    std::function<void(const QString& tab)> prefsWindowShow = unbuilt<const QString&>("prefsWindowShow");
    // How far a model download has come (fraction 0 when the server sent no length), for the
    // window that shows it.
    std::function<void(const QString& modelID, double fraction, qint64 written, qint64 expected)>
        modelDownloadProgress = unbuilt<const QString&, double, qint64, qint64>("modelDownloadProgress");
};

}  // namespace murmelo
