#include "diagnostics/Orphans.h"

#include "base/Log.h"
#include "diagnostics/MainStallWatch.h"
#include "platform/RunningApplication.h"

#include <QFileInfo>
#include <mutex>

namespace murmelo::Orphans {
namespace {

struct Programs {
    QStringList recognition, corrector;
    bool custom = false;
};

std::mutex g_mutex;
Programs g_programs;

QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}

Programs programsLocked() {
    if (g_programs.custom) return g_programs;
    Programs p;
    const QString dir = QFileInfo(RunningApplication::shared().executablePath()).absolutePath();
    p.recognition << dir + QStringLiteral("/whisper-server");
    p.corrector << dir + QStringLiteral("/corrector-server");
    return p;
}

Programs programs() {
    std::lock_guard lock(g_mutex);
    return programsLocked();
}

// Sets one server's programs; the other's stay as they are (their defaults included).
void setOneServer(QStringList Programs::*server, const QStringList& list) {
    std::lock_guard lock(g_mutex);
    Programs p = programsLocked();
    p.*server = list;
    p.custom = true;
    g_programs = p;
}

bool runs(const ProcRow& row, const QString& program) {
    if (program.endsWith(QStringLiteral(".py"))) {
        if (row.arguments.size() < 2) return false;
        if (!QFileInfo(row.executable).fileName().startsWith(QStringLiteral("python"))) return false;
        return row.arguments[1] == program || canonical(row.arguments[1]) == canonical(program);
    }
    return !row.executable.isEmpty() && row.executable == canonical(program);
}

QString joinPids(const QList<qint32>& pids) {
    QStringList s;
    for (qint32 p : pids) s << QString::number(p);
    return s.join(QStringLiteral(", "));
}

}  // namespace

void markOwner(QProcessEnvironment& environment) {
    environment.insert(QString::fromLatin1(OWNER_ENV), QString::number(Processes::shared().selfPid()));
}

void setServerPrograms(const QStringList& recognition, const QStringList& corrector) {
    std::lock_guard lock(g_mutex);
    g_programs = {recognition, corrector, true};
}

void setRecognitionPrograms(const QStringList& recognition) { setOneServer(&Programs::recognition, recognition); }

void setCorrectorPrograms(const QStringList& corrector) { setOneServer(&Programs::corrector, corrector); }

void resetServerPrograms() {
    std::lock_guard lock(g_mutex);
    g_programs = {};
}

ServerKind serverKind(const ProcRow& row) {
    if (row.uid != Processes::shared().selfUid()) return ServerKind::none;
    const Programs p = programs();
    for (const QString& prog : p.recognition)
        if (runs(row, prog)) return ServerKind::recognition;
    for (const QString& prog : p.corrector)
        if (runs(row, prog)) return ServerKind::corrector;
    return ServerKind::none;
}

bool isSidecar(const ProcRow& row) { return serverKind(row) != ServerKind::none; }

bool isParentGone(const ProcRow& row) {
    if (row.ppid == 1) return true;
    const auto owner = Processes::shared().environmentValue(row, QString::fromLatin1(OWNER_ENV));
    if (!owner) return false;
    bool ok = false;
    const qint32 ownerPid = owner->toInt(&ok);
    return ok && ownerPid != row.ppid;
}

std::optional<QList<ProcRow>> processTable() {
    MainStallScope wait(QStringLiteral("здоровье: жду /bin/ps (снимок таблицы процессов)"));
    return Processes::shared().table();
}

QList<ProcRow> orphans(const QList<ProcRow>& rows, qint32 selfPid) {
    QList<ProcRow> out;
    for (const ProcRow& row : rows) {
        if (row.pid == selfPid || row.pid <= 1) continue;
        if (isSidecar(row) && isParentGone(row)) out << row;
    }
    return out;
}

QList<qint32> pidsOf(const QList<ProcRow>& rows) {
    QList<qint32> pids;
    for (const ProcRow& r : rows) pids << r.pid;
    return pids;
}

QList<qint32> orphanPids(const QList<ProcRow>& rows, qint32 selfPid) { return pidsOf(orphans(rows, selfPid)); }

void sweep() {
    const auto table = processTable();
    if (!table) {
        logLine(QStringLiteral("уборка сирот: не удалось прочитать таблицу процессов (ps) — пропускаю"));
        return;
    }
    const QList<ProcRow> targets = orphans(*table, Processes::shared().selfPid());
    if (targets.isEmpty()) return;
    for (const ProcRow& row : targets) Processes::shared().kill(row);
    logLine(QStringLiteral("уборка сирот: убрано брошенных сайдкаров ") + QString::number(targets.size()) +
            QStringLiteral(" (pid ") + joinPids(pidsOf(targets)) +
            QStringLiteral(") — остались от запусков, умерших по сигналу"));
}

QList<ProcRow> portKillTargets(const QList<qint32>& listeners, const QList<ProcRow>& rows, qint32 selfPid) {
    QList<ProcRow> out;
    for (const ProcRow& row : rows) {
        if (!listeners.contains(row.pid) || row.pid == selfPid || row.pid <= 1) continue;
        if (isSidecar(row) && (row.ppid == selfPid || isParentGone(row))) out << row;
    }
    return out;
}

void freePort(quint16 port, std::optional<qint32> selfPid) {
    Processes& procs = Processes::shared();
    const qint32 self = selfPid.value_or(procs.selfPid());
    QList<qint32> listeners = procs.tcpListeners(port);
    listeners.removeAll(self);
    if (listeners.isEmpty()) return;
    const auto table = procs.table();
    if (!table) return;
    const QList<ProcRow> targets = portKillTargets(listeners, *table, self);
    const QString prefix = QStringLiteral("порт ") + QString::number(port);
    if (targets.isEmpty()) {
        // Someone else's program holds the port: the server will fail to bind, and the
        // log says why instead of us killing what is not ours.
        logLine(prefix + QStringLiteral(": занят чужим процессом (pid ") + joinPids(listeners) +
                QStringLiteral(") — не трогаю"));
        return;
    }
    QList<qint32> killed;
    for (const ProcRow& row : targets)
        if (procs.kill(row)) killed << row.pid;
    logLine(prefix + QStringLiteral(": снят слушавший его процесс (pid ") + joinPids(killed) + QStringLiteral(")") +
            QStringLiteral(" — только слушатель, свой pid не трогаем"));
}

}  // namespace murmelo::Orphans
