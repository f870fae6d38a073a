#include "sim/SimProcesses.h"

#include <algorithm>

namespace murmelo::sim {

SimProcesses::SimProcesses(qint32 selfPid, quint32 selfUid) : selfPid_(selfPid), selfUid_(selfUid) {}

ProcessRow& SimProcesses::add(qint32 pid, qint32 ppid, qint64 rssKB, const QString& executable,
                              const QStringList& arguments) {
    ProcessRow r;
    r.pid = pid;
    r.ppid = ppid;
    r.rssKB = rssKB;
    r.uid = selfUid_;
    r.executable = executable;
    r.arguments = arguments.isEmpty() ? QStringList{executable} : arguments;
    r.command = r.arguments.join(' ');
    r.startTime = quint64(pid) * 7;
    rows_[pid] = r;
    return rows_[pid];
}

void SimProcesses::remove(qint32 pid) {
    rows_.remove(pid);
    env_.remove(pid);
    for (auto it = listeners_.begin(); it != listeners_.end();)
        it = it.value() == pid ? listeners_.erase(it) : std::next(it);
}

ProcessRow* SimProcesses::row(qint32 pid) {
    auto it = rows_.find(pid);
    return it == rows_.end() ? nullptr : &it.value();
}

void SimProcesses::setEnvironment(qint32 pid, const QString& name, const QString& value) { env_[pid][name] = value; }

void SimProcesses::listen(qint32 pid, quint16 port) { listeners_.insert(port, pid); }

void SimProcesses::setUnkillable(qint32 pid, bool unkillable) {
    unkillable_.removeAll(pid);
    if (unkillable) unkillable_ << pid;
}

std::optional<QList<ProcessRow>> SimProcesses::table() const {
    if (!readable_) return std::nullopt;
    return rows_.values();
}

bool SimProcesses::kill(const ProcessRow& r) {
    killRequests_ << r.pid;
    auto it = rows_.find(r.pid);
    if (it == rows_.end() || it->startTime != r.startTime || unkillable_.contains(r.pid)) return false;
    remove(r.pid);
    return true;
}

std::optional<QString> SimProcesses::environmentValue(const ProcessRow& r, const QString& name) const {
    auto it = env_.find(r.pid);
    if (it == env_.end() || !it->contains(name)) return std::nullopt;
    return it->value(name);
}

QList<qint32> SimProcesses::tcpListeners(quint16 port) const {
    QList<qint32> pids = listeners_.values(port);
    std::sort(pids.begin(), pids.end());
    return pids;
}

}  // namespace murmelo::sim
