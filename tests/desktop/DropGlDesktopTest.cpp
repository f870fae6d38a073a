// The light design's four passes on the test desktop's OpenGL (Mesa's software renderer),
// drawn offscreen and read back: what each edge of the scene must look like.
#include "DesktopHarness.h"
#include "presence/SolarPasses.h"

#include <QImage>
#include <QOpenGLContext>
#include <cmath>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class DesktopDropGl : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        ASSERT_TRUE(DropGraphics::shared().ready()) << "every program compiles and links";
        ASSERT_TRUE(DropGraphics::shared().makeCurrent());
        passes = std::make_unique<SolarPasses>();
    }
    void TearDown() override {
        if (!QOpenGLContext::currentContext()) return;
        passes.reset();
        out.reset();
        DropGraphics::shared().context()->doneCurrent();
    }
    // The composite of one frame, top row first, in premultiplied 8-bit colour.
    QImage frame(const SolarUniforms& u, QSize size, bool cloud = false) {
        out = std::make_unique<Gl::RenderTarget>();
        EXPECT_TRUE(out->create(size, Gl::TargetFormat::rgba8));
        EXPECT_TRUE(passes->render(u, cloud, out->framebuffer(), size));
        return out->read();
    }
    QImage scene(const SolarUniforms& u, QSize size) {
        EXPECT_TRUE(passes->renderScene(u, size));
        return passes->scene().read();
    }
    // A still, fully shown light with some voice.
    static SolarUniforms shown(float edgeSide = 0) {
        SolarUniforms u;
        u.scale = 1;
        u.reveal = 1;
        u.levelFast = 0.3f;
        u.motion = 0;
        u.edgeSide = edgeSide;
        return u;
    }
    // The centre of the brightest 20x20 block.
    static QPoint brightest(const QImage& image) {
        QPoint best;
        double bestSum = -1;
        for (int by = 0; by + 20 <= image.height(); by += 10)
            for (int bx = 0; bx + 20 <= image.width(); bx += 10) {
                double sum = 0;
                for (int y = by; y < by + 20; ++y)
                    for (int x = bx; x < bx + 20; ++x) {
                        const QRgb p = image.pixel(x, y);
                        sum += qRed(p) + qGreen(p) + qBlue(p);
                    }
                if (sum > bestSum) {
                    bestSum = sum;
                    best = QPoint(bx + 10, by + 10);
                }
            }
        return best;
    }

    std::unique_ptr<SolarPasses> passes;
    std::unique_ptr<Gl::RenderTarget> out;
};

TEST_F(DesktopDropGl, HiddenLightIsFullyTransparent) {
    SolarUniforms u = shown();
    u.reveal = 0;
    u.levelFast = 0;
    const QImage image = frame(u, QSize(560, 340));
    bool clear = true;
    for (int y = 0; y < image.height() && clear; ++y)
        for (int x = 0; x < image.width() && clear; ++x) clear = image.pixel(x, y) == 0;
    EXPECT_TRUE(clear) << "reveal 0 draws nothing at all";
}

TEST_F(DesktopDropGl, TheSourceShinesFromTheTopCentreOrTheChosenCorner) {
    struct Case {
        float edgeSide;
        QSize size;
        QRect where;  // top-left origin
    };
    for (const Case& c : {Case{0, QSize(560, 340), QRect(240, 0, 80, 60)},
                          Case{1, QSize(360, 360), QRect(0, 300, 60, 60)},
                          Case{-1, QSize(360, 360), QRect(300, 300, 60, 60)}}) {
        const QImage image = frame(shown(c.edgeSide), c.size);
        // For a person's look: MURMELO_GRAB_DIR keeps the frames.
        if (const QString dir = qEnvironmentVariable("MURMELO_GRAB_DIR"); !dir.isEmpty())
            image.save(QStringLiteral("%1/light-%2.png").arg(dir).arg(int(c.edgeSide)));
        const QPoint p = brightest(image);
        EXPECT_TRUE(c.where.contains(p)) << c.edgeSide << ": " << p.x() << "," << p.y();
        // Below the source, the fan: the middle of the top window is lit, its far corner is not.
        if (c.edgeSide == 0) {
            EXPECT_GT(qAlpha(image.pixel(280, 150)), 40);
            EXPECT_EQ(qAlpha(image.pixel(2, 337)), 0);
        }
    }
    // In a corner the field turns 45 degrees: pixels as far from the bottom as from the side
    // lie on the fan's axis, brighter than pixels the same distance along an edge.
    const QImage corner = frame(shown(1), QSize(360, 360));
    EXPECT_GT(qAlpha(corner.pixel(80, 359 - 80)), qAlpha(corner.pixel(113, 359 - 2)));
}

TEST_F(DesktopDropGl, CloudChangesOnlyTheColourAndTheMeetingLookHasNoSource) {
    SolarUniforms u = shown();
    const QImage warm = scene(u, QSize(560, 340));
    u.cloud = 1;
    const QImage cloud = scene(u, QSize(560, 340));
    int alphaDiffers = 0, colourDiffers = 0;
    for (int y = 0; y < warm.height(); ++y) {
        const float* a = reinterpret_cast<const float*>(warm.constScanLine(y));
        const float* b = reinterpret_cast<const float*>(cloud.constScanLine(y));
        for (int x = 0; x < warm.width(); ++x) {
            alphaDiffers += a[4 * x + 3] != b[4 * x + 3];
            colourDiffers += a[4 * x] != b[4 * x];
        }
    }
    EXPECT_EQ(alphaDiffers, 0);
    EXPECT_GT(colourDiffers, 1000);

    // The source sits 23.25 points under the top edge on the centre line.
    auto alphaAt = [](const QImage& image, int x, int y) {
        return reinterpret_cast<const float*>(image.constScanLine(y))[4 * x + 3];
    };
    EXPECT_GT(alphaAt(warm, 280, 23), 0.5f);
    u.cloud = 0;
    u.particleOnly = 1;
    const QImage motes = scene(u, QSize(560, 340));
    EXPECT_LT(alphaAt(motes, 280, 23), 0.1f) << "no source glow";
    EXPECT_LT(alphaAt(motes, 280, 150), 0.1f) << "no beams";
    float most = 0;
    for (int y = 0; y < motes.height(); ++y)
        for (int x = 0; x < motes.width(); ++x) most = std::max(most, alphaAt(motes, x, y));
    EXPECT_GT(most, 0.1f) << "the motes are there";
}

TEST_F(DesktopDropGl, AOnePixelWideTargetKeepsAOnePixelBloom) {
    frame(shown(), QSize(1, 340));
    EXPECT_EQ(passes->bloomA().size(), QSize(1, 170));
    EXPECT_EQ(passes->bloomB().size(), QSize(1, 170));
    frame(shown(), QSize(561, 341));
    EXPECT_EQ(passes->scene().size(), QSize(561, 341));
    EXPECT_EQ(passes->bloomA().size(), QSize(280, 170));
}

}  // namespace
