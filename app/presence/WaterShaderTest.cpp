#include "presence/BeadDrop.h"
#include "presence/WaterShader.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

TEST(WaterShaderTest, TheHeadCarriesTheScaleNumbersInTheirShortestForm) {
    const QString head = DROP_MSL_HEAD();
    EXPECT_TRUE(head.contains(QStringLiteral("const float PXR = 0.0182;\n")));
    EXPECT_TRUE(head.contains(QStringLiteral("const float SCALE = 1.4423077;\n")));
    EXPECT_FALSE(head.contains(QLatin1Char('%'))) << "every number filled in";
    struct Case {
        float value;
        const char* text;
    };
    for (const Case& c : {Case{0.0182f, "0.0182"}, Case{150.0f / 104, "1.4423077"}, Case{31, "31.0"}, Case{0.5f, "0.5"}})
        EXPECT_EQ(shortestFloatText(c.value), QString::fromLatin1(c.text));
}

TEST(WaterShaderTest, TheDropAndTheBeadShareTheHeadAndTheShading) {
    const QString head = DROP_MSL_HEAD(), shade = QString::fromLatin1(DROP_MSL_SHADE);
    EXPECT_EQ(DROP_MSL(), head + "\n" + DROP_MSL_DROP_GEOM + "\n" + shade + "\n" + DROP_MSL_DROP_MAIN);
    const QString bead = beadMSL(31, 3);
    ASSERT_TRUE(bead.startsWith(head + "\n" + BEAD_GEOMETRY + "\n" + shade + "\n"));
    const QString entry = bead.mid(head.size() + int(strlen(BEAD_GEOMETRY)) + shade.size() + 3);
    EXPECT_EQ(entry.section(QLatin1Char('\n'), 2, 3),
              QStringLiteral("const float BEAD_PXS = 2.0 * BEAD_R / 31.0;\nconst int BEAD_SS = 3;"));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("//")));
    EXPECT_TRUE(beadMSL(40.5, 2).contains(QStringLiteral("BEAD_R / 40.5;\nconst int BEAD_SS = 2;")));
    // The shading piece needs only ABSORB and mapDrop from the shape before it.
    EXPECT_FALSE(head.contains(QStringLiteral("ABSORB")));
    EXPECT_FALSE(head.contains(QStringLiteral("mapDrop")));
}

TEST(BeadDropTest, PixelSizesAndPrewarmScales) {
    struct Size {
        double scale;
        int pixels;
    };
    for (const Size& c : {Size{1, 35}, Size{1.5, 53}, Size{2, 70}, Size{3, 105}, Size{1.25, 44}})
        EXPECT_EQ(BeadDrop::pixelSize(BEAD_BOX_PT, c.scale), c.pixels) << c.scale;
    // Two screens of 2× and one of 1×: two renders.
    EXPECT_EQ(BeadDrop::prewarmScales({2, 1, 2}), (QList<double>{2, 1}));
    EXPECT_TRUE(BeadDrop::prewarmScales({}).isEmpty());
}

}  // namespace
