#include "cleanup/CleanupSeam.h"

#include "base/Log.h"
#include "cleanup/SmartCleanupMode.h"

#include <memory>

namespace murmelo {

CleanupSeam::CleanupSeam() {
    migrateSmartCleanupDefaultToLiteral = [] { murmelo::migrateSmartCleanupDefaultToLiteral(); };
    currentSmartCleanupModeTitle = [] { return SmartCleanupModes::title(currentSmartCleanupMode()); };
    smartCleanupSelfLearningStart = [said = std::make_shared<bool>(false)] {
        if (*said) return;
        *said = true;
        logLine(QStringLiteral("Smart Cleanup: самопроверка и самообучение ещё не подключены"));
    };
}

}  // namespace murmelo
