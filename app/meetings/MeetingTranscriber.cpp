#include "meetings/MeetingTranscriber.h"

#include "base/Localization.h"

#include <QLocale>
#include <cmath>

namespace murmelo::MeetingTranscriber {

QString dateText(const QDateTime& date) {
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), QLocale::LongFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), QLocale::ShortFormat);
}

QString durationText(double seconds) {
    const long long minutes = std::llround(seconds / 60.0);
    if (minutes <= 0) return L(QStringLiteral("meeting.md.seconds"), QStringLiteral("%d с"), {qint64(seconds)});
    if (minutes > 59)
        return L(QStringLiteral("meeting.md.hours"), QStringLiteral("%d ч %02d мин"), {minutes / 60, minutes % 60});
    return L(QStringLiteral("meeting.md.minutes"), QStringLiteral("%d мин"), {minutes});
}

}  // namespace murmelo::MeetingTranscriber
