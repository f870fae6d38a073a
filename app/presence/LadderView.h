#pragma once
#include "ui/Presence.h"

#include <QWidget>
#include <array>
#include <functional>

class QPainter;
class QTimer;

namespace murmelo {

// The notch ladder's drawing: a staircase of five steps on each side of the camera notch
// and a glow bar under it, coloured by the state. Switched off with the ladder: built and
// tested, never shown.
inline constexpr double LAB_H = 32;
inline constexpr double LAB_EXT = 27;
inline constexpr std::array<double, 5> LAB_STEPS{26, 22, 18, 14, 10};
inline constexpr double LAB_CORNER = 10;
using LadderTone = std::array<double, 3>;
// Red, green and blue in 0 to 255 and alpha in 0 to 1.
using StepColor = std::array<double, 4>;
inline constexpr LadderTone TONE_REST{168, 176, 190};
inline constexpr LadderTone TONE_LISTEN{110, 205, 135};
inline constexpr LadderTone TONE_SPEAK{255, 170, 86};
inline constexpr LadderTone TONE_ERROR{240, 105, 88};
inline constexpr LadderTone BASE_DARK{12, 13, 16};
// The step next to the notch is the dimmest.
inline constexpr std::array<double, 5> STEP_WEIGHTS{0.16, 0.37, 0.58, 0.79, 1.0};

StepColor stepColor(int i, const LadderTone& tone, double lit);
LadderTone mix3(const LadderTone& a, const LadderTone& b, double x);

// Where everything lies for a notch width, bar height and left margin (y down).
struct LadderGeometry {
    LadderGeometry(double notchW, double barH, double margin);
    double s, ext, sw, r, xL, xR, right;
    std::array<double, 5> d;
    double glowX0, glowX1, glowTop, glowBottom, glowRadius;
};

class LadderView : public QWidget {
public:
    explicit LadderView(QWidget* parent = nullptr);
    ~LadderView() override;

    double notchW = 200;
    double barH = 38;
    double margin = 8;

    void set(LadderState state);
    void advance(double dt);
    // The display link's step: dt from the clock, 1/60 s for the first frame, at most 0.05 s.
    void tick();
    void startAnim();
    void teardown();
    // The microphone level in 0 to 1; none reads as silence.
    std::function<double()> inputLevel;

    void render(QPainter& p) const;
    QSize sizeHint() const override;

    LadderState state() const { return state_; }
    const std::array<StepColor, 5>& cur() const { return cur_; }
    const StepColor& curMid() const { return curMid_; }
    double level() const { return level_; }
    double voiceMix() const { return voiceMix_; }
    bool animating() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void target(const LadderTone& tone, const std::array<double, 5>& lit, double midLit);

    LadderState state_ = LadderState::rest;
    double lastTick_ = 0;
    double t_ = 0;
    double stateT_ = 0;
    double level_ = 0;
    double voiceMix_ = 0;
    std::array<StepColor, 5> cur_;
    std::array<StepColor, 5> tgt_;
    StepColor curMid_{14, 16, 20, 0.5};
    StepColor tgtMid_{14, 16, 20, 0.5};
    bool cascade_ = false;
    double clock_ = 9;
    QTimer* link_ = nullptr;
};

}  // namespace murmelo
