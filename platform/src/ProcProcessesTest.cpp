#include "ProcProcesses.h"

#include "platform/Processes.h"
#include "platform/Service.h"
#include "sim/SimProcesses.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

using namespace murmelo;

namespace {

std::optional<ProcessRow> rowOf(const QList<ProcessRow>& rows, qint32 pid) {
    for (const ProcessRow& r : rows)
        if (r.pid == pid) return r;
    return std::nullopt;
}

// A shell that waits on its input, with an argument holding spaces.
struct Waiting {
    QProcess shell;
    Waiting() {
        shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("read line"), QStringLiteral("a b  c")});
        shell.waitForStarted();
    }
    ~Waiting() {
        shell.closeWriteChannel();
        shell.waitForFinished();
    }
    qint32 pid() const { return qint32(shell.processId()); }
};

}  // namespace

TEST(ProcProcesses, TheTableShowsEachProcessAsProcSaysInOrder) {
    Waiting child;
    ProcProcesses procs;
    const auto table = procs.table();
    ASSERT_TRUE(table);
    EXPECT_TRUE(std::is_sorted(table->begin(), table->end(),
                               [](const ProcessRow& a, const ProcessRow& b) { return a.pid < b.pid; }));

    const auto self = rowOf(*table, procs.selfPid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->ppid, qint32(::getppid()));
    EXPECT_EQ(self->uid, quint32(::geteuid()));
    EXPECT_EQ(self->executable, QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    EXPECT_EQ(self->arguments.value(0), QCoreApplication::arguments().value(0));
    EXPECT_GT(self->rssKB, 0);
    EXPECT_GT(self->startTime, 0u);

    const auto shell = rowOf(*table, child.pid());
    ASSERT_TRUE(shell);
    EXPECT_EQ(shell->ppid, procs.selfPid());
    EXPECT_EQ(shell->executable, QFileInfo(QStringLiteral("/bin/sh")).canonicalFilePath());
    EXPECT_EQ(shell->arguments, QStringList({"/bin/sh", "-c", "read line", "a b  c"}));
    EXPECT_EQ(shell->command, QStringLiteral("/bin/sh -c read line a b  c"));
    EXPECT_EQ(ProcProcesses::read(child.pid())->startTime, shell->startTime);
}

TEST(ProcProcesses, AKillReachesOnlyTheProcessTheRowNames) {
    Waiting child;
    ProcProcesses procs;
    auto row = ProcProcesses::read(child.pid());
    ASSERT_TRUE(row);
    ProcessRow reused = *row;
    reused.startTime += 1;  // the same id, another process
    EXPECT_FALSE(procs.kill(reused));
    EXPECT_TRUE(procs.kill(*row));
    child.shell.waitForFinished();
    EXPECT_FALSE(ProcProcesses::read(child.pid()));
}

TEST(SharedProcessTable, OneReadingServesThisThreadUntilItEnds) {
    sim::SimProcesses sim;
    ScopedService<Processes> installed(sim);
    sim.add(10, 1, 100, "/usr/bin/a");
    sim.add(11, 1, 100, "/usr/bin/b");
    sim.setUnkillable(11);
    const auto pids = [](const std::optional<QList<ProcessRow>>& rows) {
        QList<qint32> out;
        for (const ProcessRow& r : rows.value_or(QList<ProcessRow>{})) out << r.pid;
        return out;
    };
    {
        SharedProcessTable shared;
        EXPECT_EQ(pids(Processes::shared().table()), QList<qint32>({10, 11}));
        sim.add(12, 1, 100, "/usr/bin/c");
        EXPECT_EQ(pids(Processes::shared().table()), QList<qint32>({10, 11}));
        // Another thread reads the table itself.
        QList<qint32> elsewhere;
        std::thread([&] { elsewhere = pids(Processes::shared().table()); }).join();
        EXPECT_EQ(elsewhere, QList<qint32>({10, 11, 12}));
        // What it killed leaves the reading; what it failed to kill stays.
        const QList<ProcessRow> rows = *Processes::shared().table();
        EXPECT_TRUE(Processes::shared().kill(rows[0]));
        EXPECT_FALSE(Processes::shared().kill(rows[1]));
        EXPECT_EQ(pids(Processes::shared().table()), QList<qint32>({11}));
    }
    EXPECT_EQ(pids(Processes::shared().table()), QList<qint32>({11, 12}));
}

TEST(SharedProcessTable, AnUnreadableTableIsAskedAgain) {
    sim::SimProcesses sim;
    ScopedService<Processes> installed(sim);
    sim.add(10, 1, 100, "/usr/bin/a");
    sim.setReadable(false);
    SharedProcessTable shared;
    EXPECT_FALSE(Processes::shared().table());
    sim.setReadable(true);
    EXPECT_TRUE(Processes::shared().table());
}
