#include "cleanup/CleanupSeam.h"

#include "cleanup/SmartCleanupMode.h"
#include "cleanup/SmartCleanupSelfLearningCoordinator.h"

namespace murmelo {

CleanupSeam::CleanupSeam() {
    migrateSmartCleanupDefaultToLiteral = [] { murmelo::migrateSmartCleanupDefaultToLiteral(); };
    currentSmartCleanupModeTitle = [] { return SmartCleanupModes::title(currentSmartCleanupMode()); };
    smartCleanupSelfLearningStart = [] { SmartCleanupSelfLearningCoordinator::shared().start(); };
}

}  // namespace murmelo
