#include "settings/StatsMonthStep.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

QDateTime at(int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(10, 0)); }

TEST(StatsMonthStepTest, StepsWithinTheTrackedMonths) {
    const QDateTime first = at(2025, 1, 10), now = at(2025, 3, 31);
    const struct { QDateTime shown; int months; std::optional<QDateTime> result; } cases[] = {
        {now, -1, at(2025, 2, 28)},          // 31 March back: the last day of February
        {at(2025, 2, 28), -1, at(2025, 1, 28)},
        {at(2025, 2, 28), 1, at(2025, 3, 28)},
        {now, 1, std::nullopt},              // already the current month
        {at(2025, 1, 28), -1, std::nullopt},  // already the first tracked month
        // A second quick click lands on a month the arrow no longer offers: held at the ends.
        {at(2025, 1, 28), -3, std::nullopt},
        {at(2025, 2, 15), -5, QDateTime(QDate(2025, 1, 1), QTime(0, 0))},
        {at(2025, 2, 15), 5, now},
        {QDateTime(), 1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(steppedStatsMonth(c.shown, c.months, first, now), c.result) << c.shown.toString().toStdString();
}

TEST(StatsMonthStepTest, WithoutATrackedMonthOnlyTheCurrentMonthIsShown) {
    const QDateTime now = at(2025, 3, 31);
    EXPECT_EQ(steppedStatsMonth(now, -1, QDateTime(), now), std::nullopt);
    EXPECT_EQ(steppedStatsMonth(now, 1, QDateTime(), now), std::nullopt);
}

}  // namespace
}  // namespace murmelo
