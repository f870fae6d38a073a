#pragma once
#include "platform/Processes.h"

namespace murmelo {

// The process table as Linux shows it in /proc: exact where a tool's text output is not
// (command lines with spaces, executables by their resolved path, process start times).
class ProcProcesses : public Processes {
public:
    std::optional<QList<ProcessRow>> table() const override;
    bool kill(const ProcessRow& row) override;
    std::optional<QString> environmentValue(const ProcessRow& row, const QString& name) const override;
    QList<qint32> tcpListeners(quint16 port) const override;
    qint32 selfPid() const override;
    quint32 selfUid() const override;

    // One process, or nothing when it is gone or unreadable.
    static std::optional<ProcessRow> read(qint32 pid);

private:
    static std::optional<ProcessRow> readIn(int dirFd, qint32 pid);
};

}  // namespace murmelo
