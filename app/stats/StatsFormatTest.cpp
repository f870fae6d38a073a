#include "stats/StatsFormat.h"

#include "base/Localization.h"

#include <gtest/gtest.h>
#include <QLocale>
#include <cmath>
#include <limits>

namespace murmelo {
namespace {

using Parts = StatsFormat::DurationParts;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

QDateTime day(int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(12, 0)); }

// Pins the process locale and the interface language for one test.
class StatsFormatTest : public ::testing::Test {
protected:
    void TearDown() override {
        QLocale::setDefault(saved_);
        Localization::resetForTesting(QStringList{QStringLiteral("ru")});
    }
    void interfaceLanguage(const QString& code) { Localization::resetForTesting(QStringList{code}); }
    QLocale saved_;
};

TEST_F(StatsFormatTest, DurationRoundsHalvesAwayAndNeverGoesBelowZero) {
    const struct { double seconds; Parts parts; } cases[] = {
        {0, {0, 0}},     {29, {0, 0}},     {30, {0, 1}},    {89, {0, 1}},     {90, {0, 2}},
        {3569, {0, 59}}, {3570, {1, 0}},   {5400, {1, 30}}, {90000, {25, 0}}, {-30, {0, 0}},
        {-100, {0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(StatsFormat::duration(c.seconds), c.parts) << c.seconds;
}

TEST_F(StatsFormatTest, UnusableSecondsCountAsAbsent) {
    for (double s : {nan, inf, -inf, 1e308, -1e308, 6e20})
        EXPECT_EQ(StatsFormat::duration(s), std::nullopt) << s;
    // The last minute count that still fits.
    EXPECT_TRUE(StatsFormat::duration(5e20).has_value());
}

TEST_F(StatsFormatTest, SavedCompactTexts) {
    const struct { std::optional<double> seconds; const char* text; } cases[] = {
        {std::nullopt, "Ещё измеряем"}, {nan, "Ещё измеряем"}, {inf, "Ещё измеряем"},
        {1e308, "Ещё измеряем"},        {0, "0 мин"},          {29, "0 мин"},
        {30, "1 мин"},                  {-45, "0 мин"},        {3569, "59 мин"},
        {3570, "1 ч"},                  {3599, "1 ч"},         {3600, "1 ч"},
        {3660, "1 ч 1 мин"},            {5400, "1 ч 30 мин"},  {360000, "100 ч"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(savedCompact(c.seconds), QString::fromUtf8(c.text)) << c.seconds.value_or(-1);
}

TEST_F(StatsFormatTest, MonthTextsFollowTheInterfaceLanguage) {
    const struct { const char* language; QDateTime date; const char* month; const char* name; const char* shortName; } cases[] = {
        {"ru", day(2025, 3, 31), "март 2025", "март", "март"},
        {"ru", day(2025, 1, 1), "январь 2025", "январь", "янв"},
        {"ru", day(2025, 5, 15), "май 2025", "май", "май"},
        {"en", day(2025, 1, 20), "January 2025", "January", "jan"},
    };
    for (const auto& c : cases) {
        interfaceLanguage(QString::fromLatin1(c.language));
        EXPECT_EQ(StatsFormat::month(c.date), QString::fromUtf8(c.month));
        EXPECT_EQ(StatsFormat::monthName(c.date), QString::fromUtf8(c.name));
        EXPECT_EQ(StatsFormat::monthShort(c.date), QString::fromUtf8(c.shortName));
    }
}

TEST_F(StatsFormatTest, NumbersFollowTheProcessLocaleNotTheInterfaceLanguage) {
    interfaceLanguage(QStringLiteral("ru"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(StatsFormat::number(12345), "12,345");
    EXPECT_EQ(StatsFormat::number(0), "0");
    EXPECT_EQ(StatsFormat::number(-1234), "-1,234");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(StatsFormat::number(12345), QStringLiteral("12\u00a0345"));
}

TEST_F(StatsFormatTest, StreakCountsTheLongestRunOfDistinctValues) {
    const struct { std::vector<qint64> values; qint64 run; } cases[] = {
        {{}, 0}, {{4}, 1}, {{5, 5, 5}, 1}, {{1, 2, 4, 5, 6}, 3}, {{3, 1, 2, 2, 7, 8}, 3},
        {{std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::max() - 1}, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(StatsFormat::streak(c.values), c.run);
}

}  // namespace
}  // namespace murmelo
