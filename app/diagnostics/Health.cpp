#include "diagnostics/Health.h"

#include "base/Autostart.h"
#include "base/Defaults.h"
#include "base/Log.h"
#include "base/Saturating.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cmath>
#include <mutex>
#include <sys/stat.h>

namespace murmelo::Health {
namespace {

// Main thread only.
QHash<QString, qint64> g_counts;
QDateTime g_started;
std::optional<qint64> g_baselineAppMB;
QHash<QString, QDateTime> g_lastAlarm;
TimerHandle g_timer;

std::mutex g_lock;  // the health log's own lock

const QString LAST_START = QStringLiteral("murmelo.health.lastStart");
const QString QUICK_RESTARTS = QStringLiteral("murmelo.health.quickRestarts");

void write(const QString& message) {
    const QByteArray record =
        (Clock::shared().now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + ' ' + message + '\n').toUtf8();
    std::lock_guard lock(g_lock);
    const QString file = path();
    const QString dir = QFileInfo(file).absolutePath();
    Folders::makePrivateFolder(dir);
    auto createEmpty = [&] {
        QFile f(file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    };
    if (!QFileInfo::exists(file)) createEmpty();
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const qint64 end = f.size();
    f.write(record);
    f.close();
    if (end + record.size() > ROTATE_AT) {
        QFile::remove(rotatedPath());
        QFile::rename(file, rotatedPath());
        createEmpty();
    }
}

QString joinPids(const QList<qint32>& pids) {
    QStringList s;
    for (qint32 p : pids) s << QString::number(p);
    return s.join(QStringLiteral(", "));
}

void noteRestartGap() {
    Defaults& d = Defaults::shared();
    const double now = double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0;
    const double previous = d.object(LAST_START) ? d.doubleValue(LAST_START) : 0.0;
    d.set(LAST_START, now);
    if (!(previous > 0)) {
        write(QStringLiteral("START первый известный запуск"));
        return;
    }
    const double gap = now - previous;
    const qint64 streak = nextStreak(d.integerValue(QUICK_RESTARTS), gap);
    d.set(QUICK_RESTARTS, streak);
    const qint64 wholeGap = saturatingWhole(std::trunc(gap));
    write(QStringLiteral("START gap=%1s streak=%2").arg(wholeGap).arg(streak));
    if (streak >= STREAK_ALARM_AT) {
        logLine(QStringLiteral("⚠ здоровье — перезапуски подряд: ") + QString::number(streak) +
                QStringLiteral(" штук с промежутком меньше ") + QString::number(qint64(QUICK_RESTART_SECS)) +
                QStringLiteral("с (последний ") + QString::number(wholeGap) +
                QStringLiteral("с). Это петля автоперезапуска сеанса, а не работа человека. Проверить ") +
                QStringLiteral("X-GNOME-AutoRestart в ") + Autostart::legacyPlistPath() +
                QStringLiteral(" — там не должно быть true (починка: murmelo --migrate-autostart)"));
    }
}

void schedule(double seconds) {
    g_timer.cancel();
    g_timer = MainQueue::shared().after(seconds, [seconds] {
        pulse();
        schedule(seconds);
    });
}

}  // namespace

QString rawValue(Event event) {
    switch (event) {
    case Event::dictation: return QStringLiteral("dict");
    case Event::empty: return QStringLiteral("empty");
    case Event::lost: return QStringLiteral("lost");
    case Event::suspicious: return QStringLiteral("susp");
    case Event::retry: return QStringLiteral("retry");
    }
    return {};
}

std::optional<Event> eventFromRaw(const QString& raw) {
    for (Event e : allEvents)
        if (rawValue(e) == raw) return e;
    return std::nullopt;
}

bool isEnabled() { return Defaults::shared().realBool(QStringLiteral("healthMonitor")).value_or(true); }

double period() {
    const qint64 s = Defaults::shared().integerValue(QStringLiteral("healthMonitorSeconds"));
    return s > 0 ? double(s) : 60.0;
}

QString path() {
    if (Log::isApp()) return Folders::join(Log::appDir(), QStringLiteral("health.log"));
    return Folders::join(Folders::temporary(), QStringLiteral("murmelo-health-tests.log"));
}

QString rotatedPath() { return path() + QStringLiteral(".1"); }

void start() {
    if (!isEnabled()) return;
    g_started = Clock::shared().now();
    noteRestartGap();
    pulse();
    schedule(period());
}

void note(Event event) { g_counts[rawValue(event)] += 1; }

qint64 nextStreak(qint64 previous, double gap) { return gap < QUICK_RESTART_SECS ? saturatingAdd(previous, 1) : 0; }

qint64 freedMegabytes(const QList<Orphans::ProcRow>& rows, const QList<qint32>& pids) {
    qint64 kb = 0;
    for (const Orphans::ProcRow& r : rows)
        if (pids.contains(r.pid)) kb += r.rssKB;
    return kb / 1024;
}

Snapshot snapshot(const QList<Orphans::ProcRow>& rows, qint32 selfPid) {
    Snapshot s;
    for (const Orphans::ProcRow& row : rows) {
        const qint64 mb = row.rssKB / 1024;
        if (row.pid == selfPid) {
            s.appMB = mb;
            continue;
        }
        const Orphans::ServerKind kind = Orphans::serverKind(row);
        if (kind == Orphans::ServerKind::none) continue;
        if (Orphans::isParentGone(row)) s.orphanN += 1;
        // Only the servers this process started are its own: another copy's (or another
        // session's) server is no extra of ours.
        if (row.ppid != selfPid) continue;
        if (kind == Orphans::ServerKind::recognition) {
            s.whisperMB += mb;
            s.whisperN += 1;
        } else {
            s.correctorMB += mb;
            s.correctorN += 1;
        }
    }
    return s;
}

QList<Alarm> alarms(const Snapshot& s, std::optional<qint64> baseline) {
    QList<Alarm> out;
    if (s.orphanN >= 1)
        out << Alarm{QStringLiteral("сироты"),
                     QStringLiteral("сироты: брошенных сайдкаров %1 — они переживают перезапуски ").arg(s.orphanN) +
                         QStringLiteral("и держат память; разбор в app/src/Death")};
    if (s.whisperN > 1)
        out << Alarm{QStringLiteral("серверов распознавания"),
                     QStringLiteral("серверов распознавания %1 вместо одного ").arg(s.whisperN) +
                         QStringLiteral("(%1 МБ суммарно) — у лишних живой хозяин, ").arg(s.whisperMB) +
                         QStringLiteral("уборка их не трогает")};
    if (s.totalMB() > LEAK_TOTAL_MB)
        out << Alarm{QStringLiteral("память"),
                     QStringLiteral("память: всего %1 МБ (приложение %2, whisper %3, ")
                             .arg(s.totalMB())
                             .arg(s.appMB)
                             .arg(s.whisperMB) +
                         QStringLiteral("корректор %1) — больше порога %2 МБ").arg(s.correctorMB).arg(LEAK_TOTAL_MB)};
    if (baseline && *baseline >= 1 && s.appMB >= LEAK_GROWTH_TIMES * *baseline && s.appMB - *baseline >= LEAK_GROWTH_MB)
        out << Alarm{QStringLiteral("память приложения"),
                     QStringLiteral("память приложения: %1 МБ на старте → %2 МБ сейчас — похоже на утечку")
                         .arg(*baseline)
                         .arg(s.appMB)};
    return out;
}

void pulse() {
    const auto table = Orphans::processTable();
    if (!table) return;
    QList<Orphans::ProcRow> rows = *table;
    Processes& procs = Processes::shared();
    const qint32 self = procs.selfPid();
    QList<qint32> killed;
    for (const Orphans::ProcRow& target : Orphans::orphans(rows, self))
        if (procs.kill(target)) killed << target.pid;
    if (!killed.isEmpty()) {
        const qint64 freed = freedMegabytes(rows, killed);
        logLine(QStringLiteral("уборка сирот: убрано брошенных сайдкаров ") + QString::number(killed.size()) + ' ' +
                QStringLiteral("(pid ") + joinPids(killed) + QStringLiteral("), ") + QStringLiteral("освобождено ") +
                QString::number(freed) + QStringLiteral(" МБ — родителя нет, за ними некому прийти"));
        write(QStringLiteral("SWEEP n=%1 freed_mb=%2").arg(killed.size()).arg(freed));
        rows.removeIf([&](const Orphans::ProcRow& r) { return killed.contains(r.pid); });
    }
    const Snapshot s = snapshot(rows, self);
    if (!g_baselineAppMB && s.appMB >= 1) g_baselineAppMB = s.appMB;
    const QDateTime now = Clock::shared().now();
    const qint64 upMinutes = g_started.isValid() ? g_started.secsTo(now) / 60 : 0;
    QString record = QStringLiteral("up=%1m app_mb=%2 whisper_mb=%3 whisper_n=%4 corr_mb=%5 corr_n=%6 orphan_n=%7")
                         .arg(upMinutes)
                         .arg(s.appMB)
                         .arg(s.whisperMB)
                         .arg(s.whisperN)
                         .arg(s.correctorMB)
                         .arg(s.correctorN)
                         .arg(s.orphanN);
    for (Event e : allEvents) record += ' ' + rawValue(e) + '=' + QString::number(g_counts.value(rawValue(e)));
    write(record);
    // Each alarm is repeated at most once per throttle period.
    for (const Alarm& a : alarms(s, g_baselineAppMB)) {
        auto last = g_lastAlarm.constFind(a.key);
        if (last != g_lastAlarm.cend() && last->msecsTo(now) < qint64(ALARM_THROTTLE_SECS * 1000)) continue;
        g_lastAlarm[a.key] = now;
        logLine(QStringLiteral("⚠ здоровье — ") + a.text);
        write(QStringLiteral("ALARM ") + a.text);
    }
}

void resetForTesting() {
    g_counts.clear();
    g_started = {};
    g_baselineAppMB.reset();
    g_lastAlarm.clear();
    g_timer.cancel();
    g_timer.reset();
}

}  // namespace murmelo::Health
