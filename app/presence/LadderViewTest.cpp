#include "presence/LadderView.h"

#include "TestEnvironment.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

TEST(LadderViewTest, GeometryAtTheDesignBarHeight) {
    const LadderGeometry g(200, 38, 8);
    EXPECT_DOUBLE_EQ(g.s, 1.1875);
    EXPECT_DOUBLE_EQ(g.sw, 6.4125);
    EXPECT_DOUBLE_EQ(g.r, 2.885625);
    const std::array<double, 5> depths{30.875, 26.125, 21.375, 16.625, 11.875};
    for (size_t j = 0; j < 5; ++j) EXPECT_DOUBLE_EQ(g.d[j], depths[j]);
    EXPECT_DOUBLE_EQ(g.xL, 40.0625);
    EXPECT_DOUBLE_EQ(g.xR, 240.0625);
    EXPECT_DOUBLE_EQ(g.right, 272.125);
    EXPECT_DOUBLE_EQ(g.glowX0, 53.125);
    EXPECT_DOUBLE_EQ(g.glowX1, 227);
    EXPECT_NEAR(g.glowBottom, 40.6125, 1e-12);
    EXPECT_DOUBLE_EQ(g.glowRadius, 1.54375);
}

TEST(LadderViewTest, StepColoursNeverGoFullyDark) {
    const StepColor outer = stepColor(4, TONE_REST, 1);
    EXPECT_EQ(outer, (StepColor{168, 176, 190, 1}));
    const StepColor dim = stepColor(0, TONE_ERROR, 0);
    EXPECT_NEAR(dim[0], 12 + 0.16 * 0.45 * (240 - 12), 1e-9);
    EXPECT_EQ(mix3(TONE_LISTEN, TONE_SPEAK, 0.5), (LadderTone{182.5, 187.5, 110.5}));
}

TEST(LadderViewTest, EnteringLiveCascadesFromTheOutsideAndARepeatedLiveChangesNothing) {
    test::TestEnvironment env;
    LadderView view;
    view.set(LadderState::live);
    const auto start = view.cur();
    view.advance(0.01);
    EXPECT_NE(view.cur()[4], start[4]) << "the outermost step moves at once";
    EXPECT_EQ(view.cur()[0], start[0]) << "the step at the notch waits 0.18 s";
    view.advance(0.16);
    EXPECT_EQ(view.cur()[0], start[0]);
    const StepColor midBefore = view.curMid();
    view.advance(0.02);
    EXPECT_NE(view.cur()[0], start[0]);
    EXPECT_EQ(view.curMid(), midBefore) << "the glow bar comes last, after 0.225 s";
    view.advance(0.05);
    EXPECT_NE(view.curMid(), midBefore);

    double level = 0.5;
    view.inputLevel = [&] { return level; };
    for (int i = 0; i < 30; ++i) view.advance(1.0 / 60);
    const double mix = view.voiceMix();
    EXPECT_GT(mix, 0.9);
    view.set(LadderState::live);
    EXPECT_EQ(view.voiceMix(), mix);
}

// Settles the view in a state and renders it at bar height 38.
QImage settled(LadderState state, double seconds, std::function<double()> level = {}) {
    LadderView view;
    view.inputLevel = std::move(level);
    view.set(state);
    for (double t = 0; t < seconds; t += 1.0 / 60) view.advance(1.0 / 60);
    QImage image(view.sizeHint(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    view.render(p);
    return image;
}

TEST(LadderViewTest, RendersOneKeyPixelPerTone) {
    test::TestEnvironment env;
    const LadderGeometry g(200, 38, 8);
    // The middle of the outermost left step, above its depth; and the middle under the notch.
    const QPoint outer(int(8 + g.sw / 2), 5);
    struct Case {
        const char* name;
        LadderState state;
        std::function<double()> level;
        QColor expected;
    };
    const std::vector<Case> cases{
        {"rest", LadderState::rest, {}, QColor(168, 176, 190)},
        {"listening", LadderState::live, {}, QColor(110, 205, 135)},
        {"speaking", LadderState::live, [] { return 1.0; }, QColor(255, 170, 86)},
    };
    for (const Case& c : cases) {
        const QImage image = settled(c.state, 4, c.level);
        EXPECT_EQ(image.size(), QSize(281, 47)) << c.name;
        const QColor px = image.pixelColor(outer);
        EXPECT_NEAR(px.red(), c.expected.red(), 2) << c.name;
        EXPECT_NEAR(px.green(), c.expected.green(), 2) << c.name;
        EXPECT_NEAR(px.blue(), c.expected.blue(), 2) << c.name;
    }
    // The error flash settles after 1.4 s at its last brightness, in the failure tone.
    const QImage error = settled(LadderState::error, 4);
    const QColor e = error.pixelColor(outer);
    EXPECT_GT(e.red(), e.green() + 60);
    EXPECT_GT(e.red(), 130);
    // Step depths: the outermost step ends at 11.875, the one at the notch at 30.875.
    const QImage rest = settled(LadderState::rest, 4);
    EXPECT_GT(rest.pixelColor(outer.x(), 10).alpha(), 250);
    EXPECT_EQ(rest.pixelColor(outer.x(), 13).alpha(), 0);
    const int innerX = int(g.xL - g.sw / 2);
    EXPECT_GT(rest.pixelColor(innerX, 29).alpha(), 250);
    EXPECT_EQ(rest.pixelColor(innerX, 32).alpha(), 0);
    // Under the notch: the body in step 0's colour down to 30.875, the glow bar at 38..40.6.
    EXPECT_GT(rest.pixelColor(140, 39).alpha(), 250);
    EXPECT_EQ(rest.pixelColor(140, 35).alpha(), 0);
}

TEST(LadderViewTest, TheThinkingWaveKeepsMovingAndRestPausesOnceSettled) {
    test::TestEnvironment env;
    LadderView view;
    view.set(LadderState::think);
    for (int i = 0; i < 120; ++i) view.advance(1.0 / 60);
    const auto a = view.cur();
    for (int i = 0; i < 30; ++i) view.advance(1.0 / 60);
    EXPECT_NE(view.cur()[4], a[4]);
    EXPECT_TRUE(view.animating());
    view.set(LadderState::rest);
    for (int i = 0; i < 600; ++i) view.advance(1.0 / 60);
    EXPECT_FALSE(view.animating());
}

}  // namespace
}  // namespace murmelo
