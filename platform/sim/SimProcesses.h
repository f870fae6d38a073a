#pragma once
#include "platform/Processes.h"

#include <QHash>
#include <QMap>

namespace murmelo::sim {

// A process table the test writes: rows, their environments and listening ports. Kills
// are recorded and remove the row unless the process is marked unkillable; the table can
// be made unreadable.
class SimProcesses : public Processes {
public:
    explicit SimProcesses(qint32 selfPid = 500, quint32 selfUid = 1000);

    ProcessRow& add(qint32 pid, qint32 ppid, qint64 rssKB, const QString& executable,
                    const QStringList& arguments = {});
    void remove(qint32 pid);
    ProcessRow* row(qint32 pid);
    void setEnvironment(qint32 pid, const QString& name, const QString& value);
    void listen(qint32 pid, quint16 port);
    void setUnkillable(qint32 pid, bool unkillable = true);
    void setReadable(bool readable) { readable_ = readable; }

    // Every kill asked for, in order, successful or not.
    const QList<qint32>& killRequests() const { return killRequests_; }

    std::optional<QList<ProcessRow>> table() const override;
    bool kill(const ProcessRow& row) override;
    std::optional<QString> environmentValue(const ProcessRow& row, const QString& name) const override;
    QList<qint32> tcpListeners(quint16 port) const override;
    qint32 selfPid() const override { return selfPid_; }
    quint32 selfUid() const override { return selfUid_; }

private:
    qint32 selfPid_;
    quint32 selfUid_;
    bool readable_ = true;
    QMap<qint32, ProcessRow> rows_;
    QHash<qint32, QHash<QString, QString>> env_;
    QMultiHash<quint16, qint32> listeners_;
    QList<qint32> unkillable_;
    QList<qint32> killRequests_;
};

}  // namespace murmelo::sim
