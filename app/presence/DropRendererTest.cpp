#include "presence/DropRenderer.h"

#include "ScopedEnv.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

using namespace DropMotion;

// A surface that takes every frame; the compositor shows each one before the next arrives,
// unless a test holds them back.
class FakeDropView : public DropRenderer {
public:
    explicit FakeDropView(const DropRenderTransform& t = DropRenderTransform::top(2, OrbDesign::light))
        : DropRenderer(t, [this] { return mic; }) {}
    QWindow* window() override { return &win; }

    double mic = 0;
    bool drawable = true;
    bool visible = true;
    bool presentsAtOnce = true;
    std::vector<SolarUniforms> solarFrames;
    std::vector<DropUniforms> waterFrames;
    QWindow win;

protected:
    bool canDraw() const override { return drawable; }
    bool submitSolar(const SolarUniforms& u) override {
        if (!drawable) return false;
        if (presentsAtOnce) presented();
        solarFrames.push_back(u);
        return true;
    }
    bool submitWater(const DropUniforms& u) override {
        if (presentsAtOnce) presented();
        waterFrames.push_back(u);
        return true;
    }
    bool windowVisible() const override { return visible; }
};

TEST(DropMotionRules, CornerShapeAtIdleAndFullyOut) {
    struct Case {
        double E, sink, scaleX, scaleY;
    };
    // A 2x screen: the idle drop sinks 14 points; fully out it widens 10 % and grows by 6 of its
    // 44 points plus a tenth.
    for (const Case& c : {Case{0, 14, 1, 1}, Case{1, 0, 1.1, 1 + 6.0 / 44 + 0.1}, Case{0.95, 0, 1.1, 1 + 6.0 / 44 + 0.1}}) {
        EXPECT_NEAR(cornerSinkPoints(c.E), c.sink, 1e-12) << c.E;
        EXPECT_NEAR(cornerContentScale(c.E), c.scaleX, 1e-12) << c.E;
        EXPECT_NEAR(cornerContentScaleY(c.E, 2), c.scaleY, 1e-12) << c.E;
    }
    EXPECT_NEAR(cornerRiseUnit(0.25), 1, 1e-12);
    EXPECT_NEAR(cornerSpreadUnit(0.8), 1, 1e-12);
    EXPECT_NEAR(cornerShapeStr(0.25), 0.18 - 0.15 * cornerSpreadUnit(0.25), 1e-12);
    const auto [E, V] = cornerStep(0, 0, 1, 0.1);
    EXPECT_NEAR(V, 7.396, 1e-12);
    EXPECT_NEAR(E, 0.7396, 1e-12);
}

TEST(DropMotionRules, SolarStepRestsExactlyAtItsEnds) {
    struct Case {
        double v, w, target, dt;
        bool reduce;
        double v2, w2;
    };
    const double dt = 1.0 / 60;
    for (const Case& c : {Case{0.999, 1, 1, dt, false, 1, 0}, Case{0.001, -1, 0, dt, false, 0, 0},
                          Case{0.3, 0.2, 1, dt, true, 1, 0}, Case{0.7, -0.2, 0, dt, true, 0, 0}}) {
        const auto [v, w] = SolarPresenceMotion::step(c.v, c.w, c.target, c.dt, c.reduce);
        EXPECT_EQ(v, c.v2) << c.v;
        EXPECT_EQ(w, c.w2) << c.v;
    }
    // Past 1 on its way to 0: clamped, the velocity kept.
    const auto [v, w] = SolarPresenceMotion::step(0.999, 5, 0, dt, false);
    EXPECT_EQ(v, 1);
    EXPECT_NEAR(w, 5 + ((0 - 0.999) * 73.96 - 17.2 * 5) * dt, 1e-12);
}

TEST(DropMotionRules, VoiceBloomsAndSuccessProgress) {
    const double voices[] = {0, 0.01, 0.34, 0.67, 1, 5};
    const int blooms[] = {0, 1, 2, 3, 3, 3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(SolarPresenceMotion::interferenceBloomCount(voices[i]), blooms[i]) << voices[i];
    const double elapsed[] = {-1, 0.81, 1.62, 3};
    const double progress[] = {0, 0.5, 1, 1};
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(SolarPresenceMotion::successProgress(elapsed[i]), progress[i]);
    EXPECT_DOUBLE_EQ(SolarPresenceMotion::normalizedVoice(1), 1);
    EXPECT_DOUBLE_EQ(SolarPresenceMotion::normalizedVoice(-1), 0);
}

TEST(DropRendererTest, CornerWaterDropUniformsAtIdleAndOut) {
    test::TestEnvironment env;
    FakeDropView view(DropRenderTransform::corner(DropPlacement::bottomRight, OrbDesign::water));
    view.configureCorner(DropPlacement::bottomRight, 2);
    view.startAnim();
    ASSERT_FALSE(view.waterFrames.empty());
    const DropUniforms idle = view.waterFrames.back();
    EXPECT_FLOAT_EQ(idle.outputAnchorY, 141);
    EXPECT_FLOAT_EQ(idle.contentScaleX, 1);
    EXPECT_FLOAT_EQ(idle.contentScaleY, 1);
    EXPECT_FLOAT_EQ(idle.emerge, 1) << "a corner drop is always a whole drop";
    EXPECT_FLOAT_EQ(idle.mirrorX, -1);

    view.set(DropState::recording, false, false);
    env.advance(2);
    const DropUniforms out = view.waterFrames.back();
    EXPECT_FLOAT_EQ(out.outputAnchorY, 127);
    EXPECT_FLOAT_EQ(out.contentScaleX, 1.1f);
    EXPECT_NEAR(out.contentScaleY, 1.236, 0.001);
}

TEST(DropRendererTest, FramesWaitForTheCompositorAndResetAfterTwoSeconds) {
    test::TestEnvironment env;
    FakeDropView view;
    view.presentsAtOnce = false;
    view.configureSolarTop();
    SolarUniforms u;
    ASSERT_TRUE(view.renderSolar(u));
    ASSERT_TRUE(view.renderSolar(u));
    EXPECT_EQ(view.inFlight(), 2);
    env.clock().advance(1.9);
    EXPECT_FALSE(view.renderSolar(u));
    EXPECT_EQ(view.solarFrames.size(), 2u);
    env.clock().advance(0.2);
    EXPECT_TRUE(view.renderSolar(u));
    EXPECT_EQ(view.inFlight(), 1);
    EXPECT_TRUE(env.logContains(QStringLiteral("solar presence: compositor stalled, resetting the frame counter")));
    view.presented();
    view.presented();
    EXPECT_EQ(view.inFlight(), 0) << "never below zero";
}

TEST(DropRendererTest, StateRequestsKeepOrResetTheVoiceAndRestartOnlyOnChange) {
    test::TestEnvironment env;
    FakeDropView view;
    view.configureSolarTop();
    view.mic = 0.5;
    view.set(DropState::recording, false, false);
    env.advance(0.2);
    EXPECT_GT(view.levelFast(), 0.4);
    const double reveal = view.emergence();
    view.set(DropState::recognizing, false, false);
    const SolarUniforms r = view.solarFrames.back();
    EXPECT_FLOAT_EQ(r.returning, 1);
    EXPECT_NEAR(r.recognitionReveal, reveal, 0.2);
    EXPECT_GT(r.recognitionVoice, 0.4);
    // Back to recording from recognising keeps the voice; from idle it starts at zero.
    view.set(DropState::recording, false, false);
    EXPECT_GT(view.level(), 0.1);
    EXPECT_FLOAT_EQ(view.solarFrames.back().returning, 0);
    view.mic = 0;
    view.set(DropState::idle, false, false);
    view.set(DropState::recording, false, false);
    EXPECT_EQ(view.levelFast(), 0);
    EXPECT_EQ(view.level(), 0);

    // The same request again changes nothing, not even a frame; the cloud flag alone restarts.
    const size_t frames = view.solarFrames.size();
    view.set(DropState::recording, false, false);
    EXPECT_EQ(view.solarFrames.size(), frames);
    view.set(DropState::recording, false, true);
    EXPECT_EQ(view.solarFrames.size(), frames + 1);
    EXPECT_FLOAT_EQ(view.solarFrames.back().cloud, 1);
}

TEST(DropRendererTest, ReduceMotionJumpsAndTheIdleViewPausesToABeat) {
    test::TestEnvironment env;
    env.defaults().set(QStringLiteral("reduceMotion"), true);
    FakeDropView view;
    view.configureSolarTop();
    view.set(DropState::recording, false, false);
    EXPECT_EQ(view.emergence(), 1);
    EXPECT_EQ(view.velocity(), 0);
    EXPECT_FLOAT_EQ(view.solarFrames.back().motion, 0);
    EXPECT_TRUE(view.frameClockRunning());

    view.set(DropState::idle, false, false);
    EXPECT_EQ(view.emergence(), 0);
    EXPECT_FALSE(view.frameClockRunning()) << "paused after the frame was submitted";
    EXPECT_TRUE(view.idleBeatRunning());
    // Every 2 s one frame with the time frozen, only while the window can be seen.
    const size_t frames = view.solarFrames.size();
    const float frozen = view.solarFrames.back().time;
    env.advance(4.1);
    ASSERT_EQ(view.solarFrames.size(), frames + 2);
    EXPECT_FLOAT_EQ(view.solarFrames.back().time, frozen);
    view.visible = false;
    env.advance(4);
    EXPECT_EQ(view.solarFrames.size(), frames + 2);
    // The next state request ends the beat.
    view.set(DropState::recording, false, false);
    EXPECT_FALSE(view.idleBeatRunning());
}

TEST(DropRendererTest, ACalibrationRunHoldsTheLightsVoiceAtItsFixedLevel) {
    test::TestEnvironment env;
    struct Case {
        const char* value;
        OrbDesign design;
        double expected;
    };
    for (const Case& c : {Case{"1", OrbDesign::light, 0.24}, Case{"yes", OrbDesign::light, 0.9},
                          Case{"1", OrbDesign::water, 0.9}}) {
        test::ScopedEnv calibration("MURMELO_SOLAR_CALIBRATION", QByteArray(c.value));
        FakeDropView view(DropRenderTransform::top(2, c.design));
        if (c.design == OrbDesign::light) view.configureSolarTop();
        view.mic = 0.9;
        view.set(DropState::recording, false, false);
        EXPECT_DOUBLE_EQ(view.levelFast(), c.expected) << c.value;
    }
}

TEST(DropRendererTest, AViewThatCannotDrawStopsItsFrameClock) {
    test::TestEnvironment env;
    FakeDropView view;
    view.configureSolarTop();
    view.drawable = false;
    view.set(DropState::recording, false, false);
    EXPECT_FALSE(view.frameClockRunning());
    EXPECT_FALSE(view.idleBeatRunning());
    EXPECT_EQ(env.queue().pendingTimers(), 0u);
    EXPECT_TRUE(view.solarFrames.empty());
}

TEST(DropRendererTest, ACoveredWindowPausesTheClockAndUncoveringResumesIt) {
    test::TestEnvironment env;
    FakeDropView view;
    view.configureSolarTop();
    view.set(DropState::recording, false, false);
    view.occlusionChanged(false);
    const size_t frames = view.solarFrames.size();
    env.advance(1);
    EXPECT_EQ(view.solarFrames.size(), frames);
    view.occlusionChanged(true);
    env.advance(0.1);
    EXPECT_GT(view.solarFrames.size(), frames + 3);
}

}  // namespace
}  // namespace murmelo
