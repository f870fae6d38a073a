#pragma once
#include "ui/Presence.h"

#include <utility>

namespace murmelo {

// The drop's motion rules: pure functions of their arguments, shared by the renderer's tick and
// its tests. Lengths are points, times seconds.
namespace DropMotion {

inline constexpr double CORNER_OMEGA = 8.6;
inline constexpr double CORNER_IDLE_REVEAL_POINTS = 30;
inline constexpr double CORNER_BODY_HEIGHT_POINTS = 44;
inline constexpr double CORNER_RISE_STR = 0.18;
inline constexpr double CORNER_SPREAD_STR = 0.15;
inline constexpr int MAX_IN_FLIGHT = 2;
inline constexpr double STUCK_PRESENT_RESET = 2.0;

double cornerRiseUnit(double x);
double cornerSpreadUnit(double x);
double cornerShapeStr(double x);
double cornerContentScale(double x);
double cornerContentScaleY(double x, double backingScaleFactor);
double cornerSinkPoints(double x);
// (E, V) after one step of the critically damped corner spring; not clamped.
std::pair<double, double> cornerStep(double E, double EV, double target, double dt);

bool settledInIdle(DropState state, double E, double EV, double recog, double success);
bool mayPauseIdle(bool settled, bool framePresented);
// Whether a frame may be submitted with this many waiting and the last submission this long
// ago; past the reset the caller zeroes its count first.
bool mayRenderFrame(int inFlight, double sinceSubmit);

}  // namespace DropMotion

// The light design's spring and the scene's shared measures.
namespace SolarPresenceMotion {
inline constexpr double omega = 8.6;
// (value, velocity) after one step; rests exactly at 0 and 1, jumps there with reduce motion.
std::pair<double, double> step(double value, double velocity, double target, double dt, bool reduceMotion);
double normalizedVoice(double level);
int interferenceBloomCount(double voice);
double successProgress(double elapsed);
}  // namespace SolarPresenceMotion

// Float blocks handed to the shaders; the field order is the shader's (std140 packs scalars
// tightly, so the C++ layout is the block's).
struct DropUniforms {
    float resW = 0, resH = 0, scale = 2, time = 0, lv = 0, lvF = 0, emerge = 0, str = 0, recog = 0, recT = 0,
          cloud = 0, yTop = 2, sourceAnchorX = 107, outputAnchorX = 107, outputAnchorY = 2, rotationCos = 1,
          rotationSin = 0, mirrorX = 1, contentScaleX = 1, contentScaleY = 1;
};
static_assert(sizeof(DropUniforms) == 80);

struct SolarUniforms {
    float resW = 0, resH = 0, scale = 2, time = 0, level = 0, levelFast = 0, reveal = 0, recognizing = 0,
          returning = 0, particleOnly = 0, recognitionTime = 0, recognitionReveal = 1, recognitionVoice = 0,
          success = 0, successTime = 0, motion = 1, variant = 0, cloud = 0, edgeSide = 0;
};
static_assert(sizeof(SolarUniforms) == 76);

struct SolarBlurUniforms {
    float inverseWidth = 0, inverseHeight = 0, radius = 1, threshold = 0;
};

struct SolarCompositeUniforms {
    float bloomStrength = 1, exposure = 1, variant = 0, padding = 0;
};

}  // namespace murmelo
