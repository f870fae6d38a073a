#include "ui/ReduceMotion.h"

#include "base/Defaults.h"

namespace murmelo {

bool reduceMotion() { return Defaults::shared().boolValue(QStringLiteral("reduceMotion")); }

}  // namespace murmelo
