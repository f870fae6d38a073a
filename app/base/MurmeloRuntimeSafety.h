#pragma once
#include <QProcessEnvironment>

namespace murmelo::MurmeloRuntimeSafety {

// The Quick Actions smoke-test mode: no step that records audio, touches the user's text
// or starts a server.
inline constexpr const char* quickActionsSmokeEnvironmentKey = "MURMELO_QUICK_ACTIONS_SMOKE";

bool isQuickActionsSmokeMode(const QProcessEnvironment& environment);
// The same test on the process environment, read anew at each use.
bool isQuickActionsSmokeMode();
bool allowsGlobalInputMutation(bool quickActionsSmokeMode);
bool allowsClipboardSelectionFallback(bool quickActionsSmokeMode);

}  // namespace murmelo::MurmeloRuntimeSafety
