#include "input/TapConsumers.h"

#include "base/Defaults.h"

namespace murmelo {
namespace {
const QString POLISH_KEY = QStringLiteral("polishEnabled");
}  // namespace

std::function<bool()>& TapPolish::whenUnset() {
    static std::function<bool()> answer;
    return answer;
}

bool TapPolish::isPolishEnabled() {
    if (const auto stored = Defaults::shared().realBool(POLISH_KEY)) return *stored;
    return whenUnset() && whenUnset()();
}
void TapPolish::setPolishEnabled(bool on) { Defaults::shared().set(POLISH_KEY, on); }

}  // namespace murmelo
