#include "cleanup/CleanupSeam.h"

#include "base/Log.h"
#include "cleanup/SmartCleanupMode.h"

namespace murmelo {

CleanupSeam::CleanupSeam() {
    migrateSmartCleanupDefaultToLiteral = [] { murmelo::migrateSmartCleanupDefaultToLiteral(); };
    currentSmartCleanupModeTitle = [] { return SmartCleanupModes::title(currentSmartCleanupMode()); };
    smartCleanupSelfLearningStart = [] {
        static bool said = false;
        if (said) return;
        said = true;
        logLine(QStringLiteral("Smart Cleanup: самопроверка и самообучение ещё не подключены"));
    };
}

}  // namespace murmelo
