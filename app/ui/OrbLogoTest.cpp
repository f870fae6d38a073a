#include "ui/OrbLogo.h"

#include "TestEnvironment.h"
#include "ui/Blur.h"

#include <QPainter>
#include <QVariantAnimation>
#include <cmath>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QImage render(QWidget& w) {
    QImage img(w.size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

TEST(OrbLogoTest, DrawsARingAroundACoreInsideTransparentCorners) {
    OrbLogo logo;
    ASSERT_EQ(logo.size(), QSize(84, 84));
    const QImage image = render(logo);
    // The corners lie 2.6 σ past the ring: its blur's tail is under one step of 8-bit alpha.
    for (QPoint corner : {QPoint(0, 0), QPoint(83, 0), QPoint(0, 83), QPoint(83, 83)})
        EXPECT_LE(qAlpha(image.pixel(corner)), 1) << corner.x() << "," << corner.y();
    // The core is 64 across at rest scale 0.97 (radius 31): opaque inside, lit from the upper
    // left, dark blue at its far rim.
    EXPECT_EQ(qAlpha(image.pixel(42, 42)), 255);
    EXPECT_EQ(qAlpha(image.pixel(42 + 29, 42)), 255);
    const QColor far = image.pixelColor(42 + 29, 42), near = image.pixelColor(42 - 29, 42);
    EXPECT_LT(far.redF(), 0.2);
    EXPECT_GT(far.blueF(), far.redF());
    EXPECT_GT(near.redF(), far.redF());
    // Between the core and the ring's 36: the blurred ring at most 55 % opaque, fading outward.
    const int ring = qAlpha(image.pixel(42 + 34, 42));
    EXPECT_GT(ring, 20);
    EXPECT_LE(ring, 0.55 * 255 + 1);
    EXPECT_LT(qAlpha(image.pixel(42 + 41, 42)), ring);
}

TEST(OrbLogoTest, LengthsScaleWithTheSize) {
    OrbLogo small(42, false);
    ASSERT_EQ(small.size(), QSize(42, 42));
    const QImage image = render(small);
    EXPECT_EQ(qAlpha(image.pixel(21 + 14, 21)), 255) << "core radius 15.5 at half size";
    EXPECT_LT(qAlpha(image.pixel(21 + 17, 21)), 255);
    EXPECT_LE(qAlpha(image.pixel(0, 0)), 1);
}

TEST(OrbLogoTest, MovesOnlyWhileItsWindowIsVisibleAndRestartsFromRest) {
    test::TestEnvironment env;
    QWidget window;
    window.resize(120, 120);
    auto* logo = new OrbLogo(84, true, &window);
    ASSERT_TRUE(logo->hasProbe());
    EXPECT_FALSE(logo->running());
    EXPECT_EQ(logo->pulse(), nullptr);

    window.show();
    ASSERT_TRUE(env.waitFor([&] { return logo->running(); }));
    ASSERT_NE(logo->pulse(), nullptr);
    ASSERT_NE(logo->spin(), nullptr);
    EXPECT_EQ(logo->pulse()->state(), QAbstractAnimation::Running);
    EXPECT_EQ(logo->spin()->state(), QAbstractAnimation::Running);
    EXPECT_EQ(logo->pulse()->duration(), 3200) << "1.6 s each way";
    EXPECT_EQ(logo->spin()->duration(), 6000);
    EXPECT_EQ(logo->pulse()->loopCount(), -1);
    EXPECT_EQ(logo->spin()->loopCount(), -1);

    window.hide();
    ASSERT_TRUE(env.waitFor([&] { return !logo->running(); }));
    EXPECT_EQ(logo->pulse(), nullptr);
    EXPECT_EQ(logo->spin(), nullptr);
    EXPECT_DOUBLE_EQ(logo->coreScale(), 0.97);
    EXPECT_DOUBLE_EQ(logo->ringDegrees(), 0);

    window.show();
    ASSERT_TRUE(env.waitFor([&] { return logo->running(); }));
    ASSERT_NE(logo->spin(), nullptr);
    EXPECT_EQ(logo->spin()->state(), QAbstractAnimation::Running);
    EXPECT_LT(logo->spin()->currentLoopTime(), 1000) << "started again, not resumed";
}

TEST(OrbLogoTest, AStillLogoHasNoProbeAndNeverMoves) {
    test::TestEnvironment env;
    QWidget window;
    auto* logo = new OrbLogo(84, false, &window);
    EXPECT_FALSE(logo->hasProbe());
    window.show();
    env.runPending();
    window.hide();
    window.show();
    env.runPending();
    EXPECT_EQ(logo->pulse(), nullptr);
    EXPECT_EQ(logo->spin(), nullptr);
    EXPECT_DOUBLE_EQ(logo->coreScale(), 0.97);
}

TEST(BlurTest, SpreadsAnEdgeByTheRadiusAndKeepsTheAmountOfPaint) {
    // A band 40 px wide, opaque red: blurred, each row follows the Gaussian's integral across the edge.
    QImage half(80, 40, QImage::Format_ARGB32_Premultiplied);
    half.fill(Qt::transparent);
    for (int y = 0; y < 40; ++y)
        for (int x = 20; x < 60; ++x) half.setPixelColor(x, y, QColor(255, 0, 0));
    const QImage out = Blur::blurred(half, 4);
    double sum = 0;
    for (int x = 0; x < 80; ++x) sum += qAlpha(out.pixel(x, 20));
    EXPECT_NEAR(sum, 40 * 255, 255) << "nothing lost or gained";
    // σ = radius: 4.5 px past the edge (1.125 σ) about 13 % remains, as much inside is missing.
    EXPECT_NEAR(out.pixelColor(64, 20).alphaF(), 0.130, 0.02);
    EXPECT_NEAR(out.pixelColor(55, 20).alphaF(), 0.870, 0.02);
    EXPECT_EQ(qAlpha(out.pixel(60 + 13, 20)), 0) << "nothing past three σ";
    const QColor c = out.pixelColor(62, 20);
    EXPECT_EQ(c.green(), 0);
    EXPECT_EQ(c.red(), 255) << "premultiplied: the colour stays red, no black bleeds in";
}

}  // namespace
