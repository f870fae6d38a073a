#include "base/MurmeloRuntimeSafety.h"

namespace murmelo::MurmeloRuntimeSafety {

bool isQuickActionsSmokeMode(const QProcessEnvironment& environment) {
    const QString key = QString::fromLatin1(quickActionsSmokeEnvironmentKey);
    return environment.contains(key) && environment.value(key) == QStringLiteral("1");
}

bool isQuickActionsSmokeMode() { return isQuickActionsSmokeMode(QProcessEnvironment::systemEnvironment()); }

bool allowsGlobalInputMutation(bool quickActionsSmokeMode) { return !quickActionsSmokeMode; }

bool allowsClipboardSelectionFallback(bool quickActionsSmokeMode) { return !quickActionsSmokeMode; }

}  // namespace murmelo::MurmeloRuntimeSafety
