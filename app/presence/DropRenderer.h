#pragma once
#include "platform/MainQueue.h"
#include "presence/DropMotion.h"
#include "presence/DropPresenceWindows.h"

#include <functional>
#include <limits>

namespace murmelo {

// The drop's motion and frame clock, apart from how a frame reaches the screen: the tick
// smooths the voice, steps the spring, fades the envelopes and hands one frame to the surface;
// the clock runs while something moves, pauses when everything has settled at idle (one frozen
// frame every 2 s then) and while the window is covered. Main thread only.
class DropRenderer : public DropPresenceView {
public:
    static constexpr double FRAME_INTERVAL = 1.0 / 60;
    static constexpr double IDLE_BEAT = 2.0;

    // micLevel: the microphone level 0 ... 1 while recording.
    DropRenderer(const DropRenderTransform& transform, std::function<double()> micLevel);
    ~DropRenderer() override;

    void set(DropState state, bool particleOnly, bool cloud) override;
    void startAnim() override;
    void stopAnim() override;
    void teardown() override;
    void configureCorner(DropPlacement placement, double backingScaleFactor) override;
    void configureSolarCorner(DropPlacement placement) override;
    void configureSolarTop() override;

    // One display frame.
    void tick();
    DropUniforms uniforms(double now, double lv) const;
    SolarUniforms solarUniforms(double now) const;
    // Frame pacing, then the surface; true when a frame was submitted.
    bool render(const DropUniforms& u);
    bool renderSolar(const SolarUniforms& u);
    // A submitted frame reached the screen.
    void presented();
    // The window's visibility changed (covered, uncovered, unmapped).
    void occlusionChanged(bool visible);

    bool frameClockRunning() const { return linkRunning_ && !linkPaused_ && wasVisible_; }
    bool idleBeatRunning() const { return idleBeat_.isPending(); }
    DropState state() const { return state_; }
    double emergence() const { return E_; }
    double velocity() const { return EV_; }
    double level() const { return level_; }
    double levelFast() const { return levelFast_; }
    int inFlight() const { return inFlight_; }
    bool solarMode() const { return solarMode_; }

protected:
    // Whether this view can draw at all; a view that cannot settles and stops its clock.
    virtual bool canDraw() const = 0;
    // Hands the frame to the surface; false when nothing was submitted.
    virtual bool submitSolar(const SolarUniforms& u) = 0;
    virtual bool submitWater(const DropUniforms& u) = 0;
    virtual bool windowVisible() const = 0;
    DropRenderTransform renderTransform_;

private:
    void scheduleFrame();
    void pauseLink();
    void beat();
    bool draw(double now, double lv);

    std::function<double()> micLevel_;
    bool solarMode_ = false;
    float solarEdgeSide_ = 0;
    bool cornerMotion_ = false;
    double cornerBackingScaleFactor_ = 2;
    double lastTick_ = 0;
    TimerHandle idleBeat_;
    TimerHandle frame_;
    bool linkRunning_ = false;  // the link exists and is not stopped
    bool linkPaused_ = false;   // paused at idle
    double idleAt_ = 0;
    double idleLv_ = 0;
    DropState state_ = DropState::idle;
    double E_ = 0, EV_ = 0, targetE_ = 0, str_ = 0, strv_ = 0;
    double level_ = 0, levelFast_ = 0;
    bool solarCalibration_ = false;
    double recogA_ = 0, recogStart_ = 0, recogReveal_ = 1, recogVoice_ = 0;
    double solarReturnLatched_ = 0;
    bool solarParticleOnly_ = false;
    bool cloudMode_ = false;
    double successA_ = 0, successStart_ = 0;
    double t0_ = 0;
    bool wasVisible_ = true;
    int inFlight_ = 0;
    double lastSubmitAt_ = std::numeric_limits<double>::lowest();
};

}  // namespace murmelo
