#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the settings window. Each entry calls
// the real thing; tests install their own (ScopedService) to watch the calls.
struct SettingsSeam {
    static SettingsSeam& shared() { return sharedService<SettingsSeam>(); }
    SettingsSeam();

    // The stored window theme made real.
    std::function<void()> appearanceApply;
    // The stored theme's raw value, for the start-up line.
    std::function<QString()> appearanceCurrent;
    // tab: "appearance", "dictation", "history", "meetings", "app" or "home".
    std::function<void(const QString& tab)> prefsWindowShow;
    // How far a model download has come (fraction 0 when the server sent no length), for the
    // window that shows it.
    std::function<void(const QString& modelID, double fraction, qint64 written, qint64 expected)>
        modelDownloadProgress = unbuilt<const QString&, double, qint64, qint64>("modelDownloadProgress");
};

}  // namespace murmelo
