#include "settings/StatsMonthStep.h"

namespace murmelo {
namespace {

int monthIndex(const QDate& d) { return d.year() * 12 + d.month() - 1; }

}  // namespace

std::optional<QDateTime> steppedStatsMonth(const QDateTime& shown, int months, const QDateTime& firstTracked,
                                           const QDateTime& now) {
    const QDateTime local = shown.toLocalTime();
    if (!local.isValid()) return std::nullopt;
    QDateTime target(local.date().addMonths(months), local.time());
    if (!target.isValid()) return std::nullopt;
    const QDate last = now.toLocalTime().date();
    const QDate first = firstTracked.isValid() ? firstTracked.toLocalTime().date() : last;
    if (monthIndex(target.date()) > monthIndex(last)) target = now.toLocalTime();
    else if (monthIndex(target.date()) < monthIndex(first))
        target = QDateTime(QDate(first.year(), first.month(), 1), QTime(0, 0));
    if (monthIndex(target.date()) == monthIndex(local.date())) return std::nullopt;
    return target;
}

}  // namespace murmelo
