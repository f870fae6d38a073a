#pragma once
#include "base/Defaults.h"

namespace murmelo {

// The program's own reduce-motion setting (the desktop offers none common to all): when on,
// animations jump to their end. Off unless the user turned it on.
inline bool reduceMotion() { return Defaults::shared().boolValue(QStringLiteral("reduceMotion")); }

}  // namespace murmelo
