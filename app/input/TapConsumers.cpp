#include "input/TapConsumers.h"

#include "base/Defaults.h"

namespace murmelo {
namespace {
const QString POLISH_KEY = QStringLiteral("polishEnabled");
}  // namespace

bool TapPolish::isPolishEnabled() { return Defaults::shared().boolValue(POLISH_KEY); }
void TapPolish::setPolishEnabled(bool on) { Defaults::shared().set(POLISH_KEY, on); }

}  // namespace murmelo
