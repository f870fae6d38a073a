#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of diagnostics. Each entry calls the real
// thing; tests install their own (ScopedService) to watch the order of the calls.
struct DiagnosticsSeam {
    static DiagnosticsSeam& shared() { return sharedService<DiagnosticsSeam>(); }
    DiagnosticsSeam();

    std::function<void()> installQuitSignals;
    std::function<void()> installDeathLogging;
    std::function<void()> orphansSweep;
    std::function<void()> healthStart;
    std::function<void()> mainStallWatchStart;
    std::function<void()> mainStallWatchStop;
};

}  // namespace murmelo
