#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the base services (build stamp, languages, login item). Each entry calls the real
// thing; tests install their own (ScopedService) to watch the order of the calls.
struct BaseSeam {
    static BaseSeam& shared() { return sharedService<BaseSeam>(); }
    BaseSeam();

    std::function<QString()> buildStampLine;
    std::function<QString()> preferredLocalization;
    std::function<QStringList()> shippedLanguages;
    std::function<bool()> autostartIsEnabled;
    std::function<bool()> autostartLegacyHasBlanketKeepAlive;
    std::function<QString()> autostartLegacyPlistPath;
};

}  // namespace murmelo
