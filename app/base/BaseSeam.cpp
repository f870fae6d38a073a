#include "base/BaseSeam.h"

#include "base/Autostart.h"
#include "base/BuildStamp.h"
#include "base/Localization.h"

namespace murmelo {

BaseSeam::BaseSeam() {
    buildStampLine = [] { return BuildStamp::line(); };
    preferredLocalization = [] { return Localization::language(); };
    shippedLanguages = [] { return Localization::shipped(); };
    autostartIsEnabled = [] { return Autostart::isEnabled(); };
    autostartLegacyHasBlanketKeepAlive = [] { return Autostart::legacyHasBlanketKeepAlive(); };
    autostartLegacyPlistPath = [] { return Autostart::legacyPlistPath(); };
}

}  // namespace murmelo
