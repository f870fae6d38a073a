#include "dictation/DictationPause.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/MainQueue.h"
#include "ui/AppState.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace murmelo::DictationPause {
namespace {
double nowSeconds() { return double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0; }
}  // namespace

double until() { return Defaults::shared().doubleValue(KEY); }

void setUntil(double secondsSince1970) { Defaults::shared().set(KEY, secondsSince1970); }

bool isActive() { return nowSeconds() < until(); }

int minutesLeft() {
    const double remaining = until() - nowSeconds();
    if (remaining <= 0) return 0;
    // A pause stored far in the future is still a count of minutes an int holds.
    return int(std::min(std::ceil(remaining / 60.0), double(std::numeric_limits<int>::max())));
}

void pause(int minutes) {
    const QDateTime now = Clock::shared().now();
    setUntil(nowSeconds() + double(minutes) * 60.0);
    const QDateTime end = now.addSecs(qint64(minutes) * 60).toLocalTime();
    logLine(QStringLiteral("диктовка на паузе ") + QString::number(minutes) + QStringLiteral(" мин (до ") +
            end.toString(QStringLiteral("HH:mm")) + QStringLiteral(")"));
    AppState::shared().idle();
}

void resume() {
    if (until() == 0) return;
    setUntil(0);
    logLine(QStringLiteral("диктовка снята с паузы"));
}

}  // namespace murmelo::DictationPause
