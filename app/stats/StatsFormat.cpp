#include "stats/StatsFormat.h"

#include "base/Localization.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace murmelo {
namespace {

// Whole minutes of a number of seconds, halves away from zero; nothing when the value is not
// finite or does not fit a signed 64-bit integer (converting it would be undefined).
std::optional<qint64> roundedMinutes(double seconds) {
    const double total = std::round(seconds / 60.0);
    constexpr double limit = 9223372036854775808.0;  // 2^63, exact in a double
    if (!(total >= -limit && total < limit)) return std::nullopt;  // NaN fails both
    return static_cast<qint64>(total);
}

// The month texts follow the interface language the texts are read in.
QLocale interfaceLocale() { return QLocale(Localization::language()); }

QDate localDate(const QDateTime& date) { return date.toLocalTime().date(); }

}  // namespace

namespace StatsFormat {

QString number(qint64 value) {
    const QString text = QLocale().toString(value);
    return text.isEmpty() ? QString::number(value) : text;
}

std::optional<DurationParts> duration(double seconds) {
    const auto total = roundedMinutes(seconds);
    if (!total) return std::nullopt;
    const qint64 minutes = std::max<qint64>(*total, 0);
    return DurationParts{minutes / 60, minutes % 60};
}

QString month(const QDateTime& date) {
    const QDate day = localDate(date);
    QString text = interfaceLocale().standaloneMonthName(day.month(), QLocale::LongFormat) + u' '
                   + QString::number(day.year());
    // The Russian year abbreviation, should the locale data append it.
    return text.remove(QStringLiteral(" г."));
}

QString monthName(const QDateTime& date) {
    return interfaceLocale().standaloneMonthName(localDate(date).month(), QLocale::LongFormat);
}

QString monthShort(const QDateTime& date) {
    QString text = interfaceLocale().standaloneMonthName(localDate(date).month(), QLocale::ShortFormat);
    return text.remove(u'.').toLower();
}

qint64 streak(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    qint64 best = 0;
    qint64 run = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        // Sorted and distinct, so the previous value is below the maximum and +1 cannot overflow.
        run = (i > 0 && values[i] == values[i - 1] + 1) ? run + 1 : 1;
        best = std::max(best, run);
    }
    return best;
}

}  // namespace StatsFormat

QString savedCompact(std::optional<double> seconds) {
    const auto total = seconds ? roundedMinutes(*seconds) : std::nullopt;
    if (!total) return L(QStringLiteral("stats.speed.measuring"), QStringLiteral("Ещё измеряем"));
    const qint64 clamped = std::max<qint64>(*total, 0);
    const qint64 h = clamped / 60;
    const qint64 m = clamped % 60;
    if (*total < 60)
        return L(QStringLiteral("stats.time.compact.minutes"), QStringLiteral("%d мин"), {qlonglong(m)});
    if (m == 0)
        return L(QStringLiteral("stats.time.compact.onlyHours"), QStringLiteral("%d ч"), {qlonglong(h)});
    return L(QStringLiteral("stats.time.compact.hours"), QStringLiteral("%1$d ч %2$d мин"),
             {qlonglong(h), qlonglong(m)});
}

}  // namespace murmelo
