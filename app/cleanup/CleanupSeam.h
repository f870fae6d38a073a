#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of dictation clean-up. Each entry calls
// the real thing; tests install their own (ScopedService) to watch the order of the calls.
struct CleanupSeam {
    static CleanupSeam& shared() { return sharedService<CleanupSeam>(); }
    CleanupSeam();

    std::function<void()> migrateSmartCleanupDefaultToLiteral;
    std::function<QString()> currentSmartCleanupModeTitle;
    // The launch self-test: activates the list skills that pass and logs the result.
    std::function<void()> smartCleanupSelfLearningStart;
};

}  // namespace murmelo
