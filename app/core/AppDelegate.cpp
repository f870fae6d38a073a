#include "core/AppDelegate.h"

#include "core/Log.h"

namespace murmelo {

void AppDelegate::applicationDidFinishLaunching() {
    Log::leaveTrailAtLegacyPath();
    logLine(runningBuildLine());
}

}  // namespace murmelo
