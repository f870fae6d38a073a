#include "base/MurmeloRuntimeSafety.h"

namespace murmelo::MurmeloRuntimeSafety {

bool isQuickActionsSmokeMode(const QProcessEnvironment& environment) {
    const QString key = QString::fromLatin1(quickActionsSmokeEnvironmentKey);
    return environment.contains(key) && environment.value(key) == QStringLiteral("1");
}

// Asked on every key: one variable, not a copy of the whole environment.
bool isQuickActionsSmokeMode() { return qEnvironmentVariable(quickActionsSmokeEnvironmentKey) == QStringLiteral("1"); }

bool allowsGlobalInputMutation(bool quickActionsSmokeMode) { return !quickActionsSmokeMode; }

bool allowsClipboardSelectionFallback(bool quickActionsSmokeMode) { return !quickActionsSmokeMode; }

}  // namespace murmelo::MurmeloRuntimeSafety
