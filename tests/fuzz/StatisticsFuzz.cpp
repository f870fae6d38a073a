// The monthly statistics file: loaded by the store, then read as the statistics window reads it.
#include "FuzzSupport.h"
#include "stats/MonthlyStatsStore.h"

#include <QTimeZone>

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = fuzz::root() + "/Murmelo/monthly-stats.json";
    fuzz::writeFile(path, fuzz::bytes(data, size));
    QString kept;
    {
        MonthlyStatsStore store(path, QTimeZone::utc());
        const QDateTime at(QDate(2026, 5, 17), QTime(12, 0), QTimeZone::utc());
        const MonthlyStatsSnapshot snap = store.snapshot(at, at);
        (void)snap;
        if (const auto first = store.firstTrackedMonth()) (void)store.date(*first);
        kept = store.keptUnreadablePath();
    }
    if (!kept.isEmpty()) QFile::remove(kept);
    QFile::remove(path);
    return 0;
}
