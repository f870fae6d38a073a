#pragma once
#include "diagnostics/Orphans.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace murmelo::Health {

inline constexpr qint64 LEAK_TOTAL_MB = 6144;
inline constexpr qint64 LEAK_GROWTH_MB = 300;
inline constexpr qint64 LEAK_GROWTH_TIMES = 2;
inline constexpr double QUICK_RESTART_SECS = 60.0;
inline constexpr qint64 STREAK_ALARM_AT = 3;
inline constexpr qint64 ROTATE_AT = 4194304;
inline constexpr double ALARM_THROTTLE_SECS = 900.0;

// How a dictation ended.
enum class Event { dictation, empty, lost, suspicious, retry };
inline constexpr std::array<Event, 5> allEvents{Event::dictation, Event::empty, Event::lost, Event::suspicious,
                                                Event::retry};
QString rawValue(Event event);
std::optional<Event> eventFromRaw(const QString& raw);

struct Snapshot {
    qint64 appMB = 0;
    qint64 whisperMB = 0;
    qint64 whisperN = 0;
    qint64 correctorMB = 0;
    qint64 correctorN = 0;
    qint64 orphanN = 0;
    qint64 totalMB() const { return appMB + whisperMB + correctorMB; }
};

// An alarm and the key it is throttled by; the key never carries the text's figures.
struct Alarm {
    QString key;
    QString text;
    bool operator==(const Alarm&) const = default;
};

bool isEnabled();
double period();
void start();
void pulse();
void note(Event event);

Snapshot snapshot(const QList<Orphans::ProcRow>& rows, qint32 selfPid);
QList<Alarm> alarms(const Snapshot& snapshot, std::optional<qint64> baselineAppMB);
qint64 freedMegabytes(const QList<Orphans::ProcRow>& rows, const QList<qint32>& pids);
qint64 nextStreak(qint64 previous, double gap);

QString path();
QString rotatedPath();

// Forgets the process state (counts, baseline, alarm times, timer) for the next test.
void resetForTesting();

}  // namespace murmelo::Health
