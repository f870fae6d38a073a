#include "presence/DropMotion.h"

#include "presence/DropPresenceWindows.h"

#include <algorithm>
#include <cmath>

namespace murmelo {
namespace DropMotion {

namespace {
double clamp01(double x) { return std::clamp(x, 0.0, 1.0); }
double smooth(double x) {
    const double t = std::clamp((std::min(clamp01(x), 1.0) - 0.05) / 0.87, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}
}  // namespace

double cornerRiseUnit(double x) {
    x = clamp01(x);
    return x * std::pow(1 - x, 3) * 256.0 / 27.0;
}

double cornerSpreadUnit(double x) {
    x = clamp01(x);
    return (1 - x) * std::pow(x, 4) * 3125.0 / 256.0;
}

double cornerShapeStr(double x) { return CORNER_RISE_STR * cornerRiseUnit(x) - CORNER_SPREAD_STR * cornerSpreadUnit(x); }

double cornerContentScale(double x) { return 1 + 0.1 * smooth(x); }

double cornerContentScaleY(double x, double backingScaleFactor) {
    return 1 + smooth(x) * ((DROP_CORNER_EXTRA_LIFT_DEVICE_PX / std::max(backingScaleFactor, 1.0)) /
                                CORNER_BODY_HEIGHT_POINTS +
                            0.1);
}

double cornerSinkPoints(double x) {
    return (1 - smooth(x)) * (CORNER_BODY_HEIGHT_POINTS - CORNER_IDLE_REVEAL_POINTS);
}

std::pair<double, double> cornerStep(double E, double EV, double target, double dt) {
    const double w = CORNER_OMEGA;
    const double v = EV + ((target - E) * w * w - 2 * w * EV) * dt;
    return {E + v * dt, v};
}

bool settledInIdle(DropState state, double E, double EV, double recog, double success) {
    return state == DropState::idle && std::abs(EV) < 0.001 && E < 0.005 && recog < 0.005 && success < 0.005;
}

bool mayPauseIdle(bool settled, bool framePresented) { return settled && framePresented; }

bool mayRenderFrame(int inFlight, double sinceSubmit) {
    return inFlight < MAX_IN_FLIGHT || sinceSubmit > STUCK_PRESENT_RESET;
}

}  // namespace DropMotion

namespace SolarPresenceMotion {

std::pair<double, double> step(double v, double w, double g, double dt, bool reduceMotion) {
    if (reduceMotion) return {g, 0};
    const double w2 = w + ((g - v) * omega * omega - 2 * omega * w) * dt;
    const double v2 = v + w2 * dt;
    if (v2 <= 0 && g == 0) return {0, 0};
    if (v2 >= 1 && g == 1) return {1, 0};
    return {std::clamp(v2, 0.0, 1.0), w2};
}

double normalizedVoice(double level) { return std::pow(std::clamp(2.2 * level, 0.0, 1.0), 0.72); }

int interferenceBloomCount(double voice) {
    if (!(voice > 0)) return 0;
    return std::min(3, int(std::ceil(3 * std::min(voice, 1.0))));
}

double successProgress(double elapsed) { return std::clamp(elapsed / 1.62, 0.0, 1.0); }

}  // namespace SolarPresenceMotion
}  // namespace murmelo
