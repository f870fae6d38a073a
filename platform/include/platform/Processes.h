#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// One process of the process table.
struct ProcessRow {
    qint32 pid = 0;
    qint32 ppid = 0;
    qint64 rssKB = 0;       // resident size in KiB
    QString command;        // the full command line, arguments joined by spaces
    // What tells one process from another exactly: its owner, the executable it runs
    // (resolved, empty when unreadable), its argument vector and its start time (which
    // changes when a process id is reused).
    quint32 uid = 0;
    QString executable;
    QStringList arguments;
    quint64 startTime = 0;
};

// The process table and the few operations done on other processes.
class Processes {
public:
    virtual ~Processes() = default;
    // Every process, in ascending process id; nothing when the table cannot be read.
    virtual std::optional<QList<ProcessRow>> table() const = 0;
    // Sends SIGKILL to the process the row describes, only while its id still names that
    // same process (a reused id is never signalled). True when the signal was delivered.
    virtual bool kill(const ProcessRow& row) = 0;
    // A variable of the environment the process was started with; nothing when it is
    // absent or unreadable.
    virtual std::optional<QString> environmentValue(const ProcessRow& row, const QString& name) const = 0;
    // The processes holding a TCP socket that listens on the port (any local address).
    virtual QList<qint32> tcpListeners(quint16 port) const = 0;
    virtual qint32 selfPid() const = 0;
    virtual quint32 selfUid() const = 0;

    static Processes& shared();
    static void install(Processes* processes);
};

// While one lives, Processes::shared() on the thread that made it reads the process table
// once and hands that reading to every later ask; a process it kills leaves the reading.
// The start-up's orphan sweep, first health pulse and first scan for rival key programs
// come within a fraction of a second of each other, and each full read of /proc would
// otherwise hold up the event tap. Other threads see the table as before.
class SharedProcessTable final : public Processes {
public:
    SharedProcessTable();
    ~SharedProcessTable() override;
    SharedProcessTable(const SharedProcessTable&) = delete;
    SharedProcessTable& operator=(const SharedProcessTable&) = delete;

    std::optional<QList<ProcessRow>> table() const override;
    bool kill(const ProcessRow& row) override;
    std::optional<QString> environmentValue(const ProcessRow& row, const QString& name) const override {
        return inner_.environmentValue(row, name);
    }
    QList<qint32> tcpListeners(quint16 port) const override { return inner_.tcpListeners(port); }
    qint32 selfPid() const override { return inner_.selfPid(); }
    quint32 selfUid() const override { return inner_.selfUid(); }

private:
    Processes& inner_;
    SharedProcessTable* previous_;
    mutable std::optional<QList<ProcessRow>> reading_;  // kept only once a read succeeded
};

}  // namespace murmelo
