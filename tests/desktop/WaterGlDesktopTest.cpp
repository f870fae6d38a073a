// The water design and the bead on the test desktop's OpenGL (Mesa's software renderer), drawn
// offscreen and read back: the drop's measurable shapes and the bead image's contract.
#include "DesktopHarness.h"
#include "TestEnvironment.h"
#include "presence/BeadDrop.h"
#include "presence/SolarPasses.h"
#include "presence/WaterShader.h"

#include <QGuiApplication>
#include <QImage>
#include <QOpenGLContext>
#include <QScreen>
#include <QThreadPool>
#include <algorithm>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// The top window of the water drop: 214×127 points at 2×.
const QSize TOP_PX(428, 254);

class DesktopWaterGl : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        ASSERT_TRUE(DropGraphics::shared().ready()) << "the water program compiles and links";
        ASSERT_TRUE(DropGraphics::shared().makeCurrent());
        pass = std::make_unique<WaterPass>();
    }
    void TearDown() override {
        if (!QOpenGLContext::currentContext()) return;
        pass.reset();
        out.reset();
        DropGraphics::shared().context()->doneCurrent();
    }
    QImage frame(const DropUniforms& u, QSize size = TOP_PX) {
        out = std::make_unique<Gl::RenderTarget>();
        EXPECT_TRUE(out->create(size, Gl::TargetFormat::rgba8));
        EXPECT_TRUE(pass->render(u, out->framebuffer(), size));
        QImage image = out->read();
        if (const QString dir = qEnvironmentVariable("MURMELO_GRAB_DIR"); !dir.isEmpty())
            image.save(QStringLiteral("%1/water-%2-%3.png").arg(dir).arg(u.emerge).arg(u.outputAnchorY));
        return image;
    }
    static DropUniforms still(float emerge) {
        DropUniforms u;
        u.scale = 2;
        u.time = 3;
        u.emerge = emerge;
        return u;
    }
    // The box of the pixels at least half covered, in device pixels.
    static QRect covered(const QImage& image) {
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) >= 128) box |= QRect(x, y, 1, 1);
        return box;
    }

    std::unique_ptr<WaterPass> pass;
    std::unique_ptr<Gl::RenderTarget> out;
};

TEST_F(DesktopWaterGl, TheDropKeepsItsSizesFromTheRestingStripToTheFullDrop) {
    struct Case {
        float emerge;
        double widthPt, bottomPt;  // bottom: below the window's top edge (the line hangs at 2 pt)
        double radiusRatio;        // the drop's horizontal radius over its vertical one
    };
    // At rest a strip 96 pt wide reaching 5 pt under the line; fully out a drop 150 pt wide whose
    // bottom lies 30 product pixels (30 × 150/104 points) under it.
    for (const Case& c : {Case{0, 96, 2 + 5, 48.0 / 8}, Case{1, 150, 2 + 30 * 150.0 / 104, 52.0 / 34}}) {
        const QImage image = frame(still(c.emerge));
        const QRect box = covered(image);
        // Half coverage lies 0.8 pixel of distance outside the surface; the distance is the
        // ellipsoid's scaled by its vertical radius, so sideways that is radiusRatio times as far.
        EXPECT_NEAR(box.width(), 2 * c.widthPt + 2 * 0.8 * c.radiusRatio, 2) << "emerge " << c.emerge;
        EXPECT_NEAR(box.bottom() + 1, 2 * c.bottomPt, 2) << "emerge " << c.emerge;
        EXPECT_NEAR(box.center().x(), TOP_PX.width() / 2.0, 1.5) << "centred under the anchor";
        EXPECT_EQ(box.top(), 0) << "the drop hangs from the top edge";
        // Premultiplied: nothing brighter than its coverage, and an uncovered pixel is exactly empty.
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                ASSERT_LE(std::max({qRed(p), qGreen(p), qBlue(p)}), qAlpha(p)) << x << "," << y;
            }
    }
}

TEST_F(DesktopWaterGl, APixelOutsideTheBoundingSphereIsExactlyTransparent) {
    // The anchor 400 points to the left: the whole window looks past the sphere (about 170 pt).
    DropUniforms u = still(1);
    u.outputAnchorX = -400;
    const QImage image = frame(u);
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) ASSERT_EQ(image.pixel(x, y), 0u) << x << "," << y;
}

TEST_F(DesktopWaterGl, CloudWorkChangesTheColourNeverTheShape) {
    DropUniforms u = still(1);
    u.lv = 0.4f;
    u.lvF = 0.5f;
    u.recog = 0.6f;
    u.recT = 0.4f;
    const QImage warm = frame(u);
    u.cloud = 1;
    const QImage cloud = frame(u);
    int alphaDiffers = 0, colourDiffers = 0;
    for (int y = 0; y < warm.height(); ++y)
        for (int x = 0; x < warm.width(); ++x) {
            alphaDiffers += qAlpha(warm.pixel(x, y)) != qAlpha(cloud.pixel(x, y));
            colourDiffers += warm.pixel(x, y) != cloud.pixel(x, y);
        }
    EXPECT_EQ(alphaDiffers, 0);
    EXPECT_GT(colourDiffers, 1000);
}

TEST_F(DesktopWaterGl, ABottomCornerDropIsTheTopDrawingTurnedAndMirrored) {
    const QImage top = frame(still(1));
    // Turned by π about an anchor 2 pt over the bottom edge, then mirrored.
    DropUniforms u = still(1);
    u.outputAnchorY = 127 - 2;
    u.rotationCos = -1;
    u.rotationSin = 0;
    u.mirrorX = -1;
    const QImage corner = frame(u);
    const QRect a = covered(top), b = covered(corner);
    EXPECT_EQ(b, QRect(a.left(), TOP_PX.height() - 1 - a.bottom(), a.width(), a.height()));
    int far = 0;
    for (int y = 0; y < top.height(); ++y)
        for (int x = 0; x < top.width(); ++x)
            far += std::abs(qAlpha(top.pixel(x, y)) - qAlpha(corner.pixel(x, TOP_PX.height() - 1 - y))) > 2;
    EXPECT_EQ(far, 0) << "pixel for pixel upside down";
}

class DesktopBead : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
    }
    void TearDown() override { BeadDrop::switchOffForTesting(false); }
};

TEST_F(DesktopBead, TheImageIsASphereInATransparentSquareMadeOncePerScale) {
    test::TestEnvironment env;
    struct Case {
        double scale;
        int pixels;
    };
    for (const Case& c : {Case{2, 70}, Case{1, 35}}) {
        const QImage image = BeadDrop::image(c.scale);
        ASSERT_FALSE(image.isNull()) << c.scale;
        EXPECT_EQ(image.size(), QSize(c.pixels, c.pixels));
        EXPECT_EQ(image.deviceIndependentSize(), QSizeF(35, 35));
        EXPECT_EQ(image.format(), QImage::Format_RGBA8888_Premultiplied);
        for (QPoint corner : {QPoint(0, 0), QPoint(c.pixels - 1, 0), QPoint(0, c.pixels - 1),
                              QPoint(c.pixels - 1, c.pixels - 1)})
            EXPECT_EQ(image.pixel(corner), 0u) << c.scale;
        EXPECT_EQ(qAlpha(image.pixel(c.pixels / 2, c.pixels / 2)), 255);
        // The sphere is 31 of the 35 points: its edge on the middle row, with partial coverage.
        int partial = 0, opaque = 0;
        for (int x = 0; x < c.pixels; ++x) {
            const int a = qAlpha(image.pixel(x, c.pixels / 2));
            partial += a > 0 && a < 255;
            opaque += a == 255;
        }
        EXPECT_GE(partial, 2);
        EXPECT_NEAR(opaque, 31 * c.scale, 2.5);
        if (const QString dir = qEnvironmentVariable("MURMELO_GRAB_DIR"); !dir.isEmpty())
            image.save(QStringLiteral("%1/bead-%2.png").arg(dir).arg(c.scale));
        EXPECT_EQ(BeadDrop::image(c.scale).cacheKey(), image.cacheKey()) << "the same image, not a new render";
    }
    EXPECT_FALSE(env.logContains(QStringLiteral("бусина: ")));
}

TEST_F(DesktopBead, WithoutOpenGLThereIsNoBeadAndTheLogSaysSoOnce) {
    test::TestEnvironment env;
    BeadDrop::switchOffForTesting(true);
    EXPECT_TRUE(BeadDrop::image(2).isNull());
    EXPECT_TRUE(BeadDrop::image(2).isNull());
    EXPECT_TRUE(BeadDrop::image(3).isNull());
    EXPECT_EQ(env.logLines().filter(QStringLiteral("бусина: OpenGL недоступен - остаётся рисованная")).size(), 1);
    BeadDrop::switchOffForTesting(false);
    EXPECT_FALSE(BeadDrop::image(2).isNull()) << "back on: rendered again";
}

TEST_F(DesktopBead, PrewarmRendersOffTheMainThread) {
    BeadDrop::switchOffForTesting(false);
    BeadDrop::prewarm();
    // The main thread is free at once; a caller that comes during the render waits for it and
    // then finds the cached image.
    const QImage first = BeadDrop::image(qGuiApp->primaryScreen()->devicePixelRatio());
    ASSERT_FALSE(first.isNull());
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(BeadDrop::image(qGuiApp->primaryScreen()->devicePixelRatio()).cacheKey(), first.cacheKey());
}

}  // namespace
