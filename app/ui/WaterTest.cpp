#include "ui/Water.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

void expectColor(const QColor& actual, double r, double g, double b, double a, const char* what) {
    EXPECT_NEAR(actual.redF(), r, 0.002) << what;
    EXPECT_NEAR(actual.greenF(), g, 0.002) << what;
    EXPECT_NEAR(actual.blueF(), b, 0.002) << what;
    EXPECT_NEAR(actual.alphaF(), a, 0.002) << what;
}

const Water lightPanel{false, false}, darkPanel{true, false}, lightSettings{false, true}, darkSettings{true, true};

TEST(WaterTest, RolesFollowAppearanceAndVariant) {
    expectColor(lightPanel.ink(), 0.063, 0.141, 0.169, 1, "ink light panel");
    expectColor(darkSettings.ink(), 0.839, 0.878, 0.886, 1, "ink dark settings");
    expectColor(lightSettings.acc(), 0.122, 0.667, 0.639, 1, "acc light settings");
    expectColor(darkPanel.hover(), 0.435, 0.835, 0.816, 0.13, "hover dark panel");
    expectColor(lightSettings.hover(), 0.122, 0.667, 0.639, 0.13, "hover light settings");
    expectColor(darkSettings.swOff(), 0.204, 0.263, 0.302, 1, "swOff dark settings");
    expectColor(darkPanel.swOff(), 0.627, 0.745, 0.784, 0.2, "swOff dark panel");
    expectColor(darkPanel.fill(), 1, 1, 1, 0.038, "fill dark panel");
    expectColor(lightSettings.line(), 0.125, 0.267, 0.325, 0.15, "line light settings");
    // Sidebar roles ignore the settings switch.
    EXPECT_EQ(darkSettings.prefsSidebarGlow(), darkPanel.prefsSidebarGlow());
    EXPECT_EQ(lightSettings.teal(), lightPanel.teal());
    for (const Water& w : {lightPanel, lightSettings}) {
        EXPECT_EQ(w.knob(), QColor(Qt::white));
        EXPECT_EQ(w.knobOn(), QColor(Qt::white));
    }
    EXPECT_EQ(darkPanel.body().size(), 3);
    expectColor(darkPanel.body()[0], 0.016, 0.024, 0.051, 1, "body dark top");
    EXPECT_EQ(darkPanel.skyPower(), 0.55);
    EXPECT_EQ(lightSettings.skyPower(), 0.26);
    expectColor(Water::warm(), 1, 0.58, 0.2, 1, "warm");
    EXPECT_EQ(darkSettings.textPalette().dark, true);
    expectColor(OndrixTextPalette{true}.action(), 0.62, 0.686, 0.706, 1, "action dark");
}

TEST(WaterTest, LightScaleGrowsWithTheDiagonalUpToOne) {
    EXPECT_EQ(waterLightScale({0, 0}), 0);
    EXPECT_NEAR(waterLightScale({400, 300}), 500 / 789.6, 1e-9);
    EXPECT_EQ(waterLightScale({1000, 800}), 1);
}

TEST(WaterTest, FontsAreSharedAndSized) {
    EXPECT_EQ(&F::statsHeadline(), &F::statsTitle());
    EXPECT_NEAR(QFontInfo(F::text()).pixelSize(), 13, 1);
    EXPECT_EQ(F::name().weight(), QFont::DemiBold);
    EXPECT_EQ(F::onboardingHero().family(), "Inter");
    // One point is one logical pixel: a 20-point font is about 20 pixels tall.
    const QFontInfo info(F::quickBrand());
    EXPECT_NEAR(info.pixelSize(), 20, 1);
    EXPECT_GT(QFontInfo(F::statsValue()).pixelSize(), QFontInfo(F::small()).pixelSize());
}

TEST(WaterTest, TheCardIsTheBodyGradientWithGlowsAtTheBottomCorners) {
    for (const Water& w : {lightPanel, darkPanel}) {
        QImage img(400, 300, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        paintWaterCard(p, img.rect(), w, 1.0);
        p.end();
        const QColor top = img.pixelColor(200, 0);
        const QList<QColor> body = w.body();
        EXPECT_NEAR(top.redF(), body[0].redF(), 0.01);
        EXPECT_NEAR(top.blueF(), body[0].blueF(), 0.01);
        EXPECT_EQ(top.alpha(), 255);
        // The warm glow lifts red at the bottom left against the bottom middle.
        EXPECT_GT(img.pixelColor(72, 299).red(), img.pixelColor(200, 299).red());
        // The sky glow lifts blue at the bottom right against the bottom middle.
        EXPECT_GT(img.pixelColor(352, 299).blue(), img.pixelColor(200, 299).blue());
    }
}

TEST(WaterTest, TheCardWidgetFillsItself) {
    WaterCard* card = waterCard(darkPanel, 0.5);
    card->resize(120, 80);
    const QImage img = card->grab().toImage();
    EXPECT_EQ(img.size(), QSize(120, 80));
    EXPECT_EQ(img.pixelColor(60, 40).alpha(), 255);
    delete card;
}

}  // namespace
