#include "settings/StatsDrawing.h"

#include <gtest/gtest.h>
#include <QImage>
#include <cmath>
#include <limits>

namespace murmelo {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A month whose three savings are exactly these seconds.
MonthlyStatsMonth month(double voice, double corrections, double layout) {
    MonthlyStatsMonth m;
    MonthlySavedBenefitLedger ledger;
    ledger.migratedVoiceSeconds = voice;
    ledger.migratedCorrectionSeconds = corrections;
    ledger.migratedLayoutSeconds = layout;
    m.savedBenefitLedger = ledger;
    return m;
}

bool near(const QColor& a, const QColor& b, int tolerance = 6) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

// The pixel on the ring's track at a fraction of the circle (0 at 12 o'clock, clockwise).
QColor ringPixel(const QImage& image, const StatsTimeRing& ring, double fraction) {
    const QRectF sq = ring.square();
    const double a = 2 * M_PI * fraction;
    const double r = sq.width() / 2;
    return image.pixelColor(QPointF(sq.center().x() + r * std::sin(a), sq.center().y() - r * std::cos(a)).toPoint());
}

TEST(StatsDrawingTest, RingFractions) {
    MonthlyStatsMonth noVoice;  // no ledger and nothing measured: voice absent
    noVoice.layoutCorrections = 1;
    const struct { MonthlyStatsMonth record; StatsRingFractions fractions; } cases[] = {
        {MonthlyStatsMonth{}, {0, 0, 0}},
        {noVoice, {0, 0, 1}},
        {month(0, 6, 3), {0, 6.0 / 9, 1}},
        {month(-10, 6, 3), {0, 6.0 / 9, 1}},  // a negative voice saving is no share
        {month(nan, 6, 3), {0, 6.0 / 9, 1}},
        {month(0.1, 0.1, 0.05), {0.1, 0.2, 0.25}},  // under one second: no full circle
        {month(30, 10, 0), {0.75, 1, 1}},
        {month(std::numeric_limits<double>::infinity(), 1, 1), {0, 1.0 / 2, 1}},
    };
    for (const auto& c : cases) {
        const auto f = statsRingFractions(c.record);
        EXPECT_NEAR(f.voiceEnd, c.fractions.voiceEnd, 1e-9);
        EXPECT_NEAR(f.correctionsEnd, c.fractions.correctionsEnd, 1e-9);
        EXPECT_NEAR(f.layoutEnd, c.fractions.layoutEnd, 1e-9);
    }
}

TEST(StatsDrawingTest, DurationGroupsAndBenefitTexts) {
    using G = StatsDurationGroups;
    const struct { std::optional<double> seconds; G groups; } groups[] = {
        {std::nullopt, {true, {}, {}}}, {nan, {true, {}, {}}}, {1e308, {true, {}, {}}},
        {3599, {false, 1, {}}},        {89, {false, {}, 1}},   {90, {false, {}, 2}},
        {3660, {false, 1, 1}},         {7200, {false, 2, {}}}, {0, {false, {}, 0}},
        {10, {false, {}, 0}},
    };
    for (const auto& c : groups) EXPECT_EQ(statsDurationGroups(c.seconds), c.groups) << c.seconds.value_or(-1);

    const struct { std::optional<double> seconds; const char* text; } rows[] = {
        {std::nullopt, "Ещё измеряем"}, {29.9, "< 1 мин"}, {30, "1 мин"}, {0, "0 мин"}, {-5, "0 мин"},
        {5400, "1 ч 30 мин"},
    };
    for (const auto& c : rows) EXPECT_EQ(statsBenefitText(c.seconds), QString::fromUtf8(c.text));
}

TEST(StatsDrawingTest, ChartPoints) {
    using V = std::vector<std::optional<double>>;
    const double W = 200;
    struct Case {
        V values;
        QStringList labels;
        std::vector<StatsChartPoint> points;
    };
    const Case cases[] = {
        {{}, {}, {}},
        {{std::nullopt, std::nullopt}, {"a", "b"}, {}},
        {{4}, {"a"}, {{{18, 22}, "a", true}}},
        {{0, 5}, {"a", "b"}, {{{9, 56}, "a", true}, {{W - 9, 22}, "b", true}}},
        {{0.5}, {"a"}, {{{18, 39}, "a", true}}},
        {{std::nullopt, 3, std::nullopt, 6}, {"a", "b", "c", "d"}, {{{9, 39}, "b", true}, {{W - 9, 22}, "d", true}}},
        {{1, 1, 1, 1, 1}, {"a", "b", "c", "d", "e"},
         {{{9, 22}, "a", false}, {{54.5, 22}, "b", true}, {{100, 22}, "c", true}, {{145.5, 22}, "d", true},
          {{191, 22}, "e", true}}},
        {{2, 2, 2}, {"a", "b"}, {{{9, 22}, "a", true}, {{W - 9, 22}, "b", true}}},  // extra values ignored
        {{-2, 2}, {"a", "b"}, {{{9, 90}, "a", true}, {{W - 9, 22}, "b", true}}},   // not clamped
    };
    for (const auto& c : cases) {
        StatsLine line(c.values, c.labels, StatsPalette::voice(), Water{});
        EXPECT_EQ(line.makePoints({W, 100}), c.points);
    }
    // Narrower than 19: every point within x 9 to 10.
    StatsLine narrow({1, 2, 3}, {"a", "b", "c"}, StatsPalette::voice(), Water{});
    for (const auto& p : narrow.makePoints({12, 100})) EXPECT_TRUE(p.at.x() >= 9 && p.at.x() <= 10);
}

TEST(StatsDrawingTest, RingDrawsItsArcsWithAMarginAndNothingForAnEmptyShare) {
    const Water w{false, true};
    {
        StatsTimeRing ring(month(30, 10, 0), w);
        EXPECT_EQ(ring.width(), int(std::ceil(204 + 2 * StatsTimeRing::margin)));
        const QImage image = ring.grab().toImage();
        EXPECT_TRUE(near(ringPixel(image, ring, 0.3), StatsPalette::voice())) << ringPixel(image, ring, 0.3).name().toStdString();
        EXPECT_TRUE(near(ringPixel(image, ring, 0.85), StatsPalette::corrections()));
        // No layout saving: its round-capped arc leaves no dot at 12 o'clock.
        int layoutPixels = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) layoutPixels += near(image.pixelColor(x, y), StatsPalette::layout(), 2);
        EXPECT_EQ(layoutPixels, 0);
        // The glow reaches beyond the square.
        EXPECT_GT(image.pixelColor(QPoint(int(ring.square().left() - 8), image.height() / 2)).alpha(), 0);
    }
    {
        StatsTimeRing ring(month(0, 6, 3), w);
        const QImage image = ring.grab().toImage();
        for (double f : {0.05, 0.3, 0.6}) EXPECT_TRUE(near(ringPixel(image, ring, f), StatsPalette::corrections()));
        EXPECT_TRUE(near(ringPixel(image, ring, 0.8), StatsPalette::layout()));
        int voicePixels = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) voicePixels += near(image.pixelColor(x, y), StatsPalette::voice(), 2);
        EXPECT_EQ(voicePixels, 0);
    }
}

TEST(StatsDrawingTest, TrendTileGivesItsChartTheRestOfTheRow) {
    StatsTrendMetric tile("Сэкономлено", "1 ч 30 мин", QStringLiteral("за месяц"), {1, 2}, {"янв", "фев"},
                          StatsPalette::adoption(), Water{false, true});
    tile.resize(600, 122);
    const QImage image = tile.grab().toImage();
    EXPECT_EQ(image.size(), QSize(600, 122));
    EXPECT_EQ(tile.line()->geometry().left(), 13 + 150 + 14);
    EXPECT_GE(tile.line()->height(), 88);
    // The last point's dot is drawn in the accent colour.
    const auto points = tile.line()->makePoints(tile.line()->size());
    const QPoint dot = tile.line()->mapTo(&tile, points.back().at.toPoint());
    EXPECT_TRUE(near(image.pixelColor(dot), StatsPalette::adoption()));
}

TEST(StatsDrawingTest, ButtonLooks) {
    const Water light{false, true}, dark{true, true};
    EXPECT_EQ(statsButtonLook(StatsButtonStyle::Accent, dark, false).label, srgb(0.03, 0.12, 0.15));
    EXPECT_EQ(statsButtonLook(StatsButtonStyle::Accent, light, false).label, QColor(Qt::white));
    EXPECT_NEAR(statsButtonLook(StatsButtonStyle::Accent, light, true).fill.alphaF(), light.acc().alphaF() * 0.72, 0.01);
    EXPECT_EQ(statsButtonLook(StatsButtonStyle::Icon, light, true).opacity, 0.8);
    EXPECT_EQ(statsButtonLook(StatsButtonStyle::Plain, light, true).fill, light.hover());
    EXPECT_EQ(statsButtonLook(StatsButtonStyle::Plain, light, false).outline, light.line());
}

}  // namespace
}  // namespace murmelo
