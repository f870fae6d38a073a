#include "diagnostics/Orphans.h"

#include "base/Log.h"

#include "StandIns.h"
#include "TestEnvironment.h"
#include "sim/SimProcesses.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

const QString WHISPER = QStringLiteral("/opt/murmelo/bin/whisper-server");
const QString CORRECTOR = QStringLiteral("/opt/murmelo/bin/corrector-server");
const QString SCRIPT = QStringLiteral("/opt/murmelo/corrector/server_ct2.py");

class OrphansTest : public ::testing::Test {
protected:
    OrphansTest() {
        Orphans::setServerPrograms({WHISPER}, {CORRECTOR, SCRIPT});
    }
    ~OrphansTest() override {
        Orphans::resetServerPrograms();
    }
    TestEnvironment env;
    sim::SimProcesses procs{500, 1000};
    ScopedService<Processes> procsScope_{procs};
};

TEST_F(OrphansTest, OnlyOurOwnServersWhoseParentIsGoneAreOrphans) {
    struct Case {
        const char* what;
        qint32 pid, ppid;
        QString exe;
        QStringList args;
        std::optional<QString> owner;
        quint32 uid;
        bool orphan;
    };
    const QString py = QStringLiteral("/usr/bin/python3.11");
    const std::vector<Case> cases = {
        {"recognition server adopted by process 1", 10, 1, WHISPER, {}, {}, 1000, true},
        {"recognition server of a living copy", 11, 777, WHISPER, {}, {}, 1000, false},
        {"owner named in environment is its parent", 12, 777, WHISPER, {}, "777", 1000, false},
        {"adopted by a session reaper, owner gone", 13, 2345, CORRECTOR, {}, "777", 1000, true},
        {"corrector script under an interpreter", 14, 1, py, {py, SCRIPT, "--port", "8911"}, {}, 1000, true},
        {"someone else's server.py", 15, 1, py, {py, "/home/u/app/server.py"}, {}, 1000, false},
        {"our script opened in an editor", 16, 1, "/usr/bin/vim", {"vim", SCRIPT}, {}, 1000, false},
        {"a whisper-server of the user's own", 17, 1, "/usr/local/bin/whisper-server", {}, {}, 1000, false},
        {"our program run by another user", 18, 1, WHISPER, {}, {}, 0, false},
        {"this process itself", 500, 1, WHISPER, {}, {}, 1000, false},
        {"process 1", 1, 0, WHISPER, {}, {}, 1000, false},
    };
    for (const Case& c : cases) {
        ProcessRow& r = procs.add(c.pid, c.ppid, 1024, c.exe, c.args);
        r.uid = c.uid;
        if (c.owner) procs.setEnvironment(c.pid, Orphans::OWNER_ENV, *c.owner);
    }
    const QList<qint32> found = Orphans::orphanPids(*Orphans::processTable(), 500);
    for (const Case& c : cases) EXPECT_EQ(found.contains(c.pid), c.orphan) << c.what;
    EXPECT_EQ(found, (QList<qint32>{10, 13, 14}));  // row order
}

TEST_F(OrphansTest, TheRecognitionProgramCanChangeAloneKeepingTheCorrector) {
    const QString standIn = QStringLiteral("/work/build/bin/murmelo-whisper-stand-in");
    Orphans::setRecognitionPrograms({standIn});
    procs.add(50, 1, 1024, standIn);
    procs.add(51, 1, 1024, WHISPER);
    procs.add(52, 1, 1024, CORRECTOR);
    const auto rows = *Orphans::processTable();
    EXPECT_EQ(Orphans::serverKind(rows[0]), Orphans::ServerKind::recognition);
    EXPECT_EQ(Orphans::serverKind(rows[1]), Orphans::ServerKind::none);
    EXPECT_EQ(Orphans::serverKind(rows[2]), Orphans::ServerKind::corrector);
}

TEST_F(OrphansTest, SweepKillsAndReportsEveryOrphanEvenWhenAKillFails) {
    procs.add(40, 1, 1024, WHISPER);
    procs.add(41, 1, 1024, CORRECTOR);
    procs.add(42, 800, 1024, WHISPER);
    procs.setUnkillable(41);
    Orphans::sweep();
    EXPECT_EQ(procs.killRequests(), (QList<qint32>{40, 41}));
    EXPECT_EQ(env.logLines(),
              QStringList{"10:00:00 уборка сирот: убрано брошенных сайдкаров 2 (pid 40, 41) — остались от запусков, "
                          "умерших по сигналу"});
}

TEST_F(OrphansTest, SweepWithoutOrphansSaysNothingAndAnUnreadableTableSaysSo) {
    procs.add(42, 800, 1024, WHISPER);
    Orphans::sweep();
    EXPECT_TRUE(env.logLines().isEmpty());
    procs.setReadable(false);
    Orphans::sweep();
    EXPECT_EQ(env.logLines(),
              QStringList{"10:00:00 уборка сирот: не удалось прочитать таблицу процессов (ps) — пропускаю"});
}

TEST_F(OrphansTest, FreePortKillsOnlyOurOwnListeners) {
    struct Case {
        const char* what;
        std::function<void(sim::SimProcesses&)> setUp;
        QList<qint32> killRequests;
        QString line;  // empty: nothing logged
    };
    const std::vector<Case> cases = {
        {"orphaned server of ours",
         [](sim::SimProcesses& p) { p.add(60, 1, 1, WHISPER); p.listen(60, 8910); }, {60},
         "порт 8910: снят слушавший его процесс (pid 60) — только слушатель, свой pid не трогаем"},
        {"our own previous server, still our child",
         [](sim::SimProcesses& p) { p.add(61, 500, 1, WHISPER); p.listen(61, 8910); }, {61},
         "порт 8910: снят слушавший его процесс (pid 61) — только слушатель, свой pid не трогаем"},
        {"an unrelated program on the port",
         [](sim::SimProcesses& p) { p.add(62, 1, 1, "/usr/bin/nc"); p.listen(62, 8910); }, {},
         "порт 8910: занят чужим процессом (pid 62) — не трогаю"},
        {"a server of another living copy",
         [](sim::SimProcesses& p) { p.add(63, 900, 1, WHISPER); p.listen(63, 8910); }, {},
         "порт 8910: занят чужим процессом (pid 63) — не трогаю"},
        {"this process itself", [](sim::SimProcesses& p) { p.add(500, 1, 1, WHISPER); p.listen(500, 8910); }, {}, {}},
        {"nobody listens", [](sim::SimProcesses& p) { p.add(64, 1, 1, WHISPER); p.listen(64, 8911); }, {}, {}},
        {"a kill that fails is left out of the list",
         [](sim::SimProcesses& p) { p.add(65, 1, 1, WHISPER); p.listen(65, 8910); p.setUnkillable(65); }, {65},
         "порт 8910: снят слушавший его процесс (pid ) — только слушатель, свой pid не трогаем"},
    };
    for (const Case& c : cases) {
        sim::SimProcesses fresh{500, 1000};
        ScopedService<Processes> freshScope(fresh);
        QFile::remove(Log::path());
        c.setUp(fresh);
        Orphans::freePort(8910);
        EXPECT_EQ(fresh.killRequests(), c.killRequests) << c.what;
        const QStringList lines = env.logLines();
        if (c.line.isEmpty()) {
            EXPECT_TRUE(lines.isEmpty()) << c.what;
        } else {
            EXPECT_EQ(lines, QStringList{"10:00:00 " + c.line}) << c.what;
        }
    }
}

// The real process table: stand-in servers started by this test.
class RealOrphansTest : public ::testing::Test {
protected:
    RealOrphansTest() {
        ours = dir.filePath("whisper-server");
        unrelated = dir.filePath("other/server.py");
        QDir().mkpath(dir.filePath("other"));
        QFile::copy(toolPath("murmelo-test-sidecar"), ours);
        QFile::copy(toolPath("murmelo-test-sidecar"), unrelated);
        for (const QString& p : {ours, unrelated})
            QFile::setPermissions(p, QFile::permissions(p) | QFile::ExeOwner);
        Orphans::setServerPrograms({ours}, {});
    }
    ~RealOrphansTest() override {
        for (pid_t p : started) ::kill(p, SIGKILL);
        Orphans::resetServerPrograms();
    }

    // Starts a stand-in whose owner exits at once; its pid and port.
    std::pair<pid_t, int> startOrphan(const QString& program, QStringList args = {}) {
        StandIn owner = spawnStandIn(QStringList{program, "--orphan"} + args);
        const QStringList ready = QString::fromStdString(owner.readLine()).split(' ');
        EXPECT_EQ(owner.wait(), 0);
        if (ready.size() != 3) return {-1, 0};
        started << ready[1].toInt();
        return {ready[1].toInt(), ready[2].toInt()};
    }

    TestEnvironment env;
    QTemporaryDir dir;
    QString ours, unrelated;
    QList<pid_t> started;
};

TEST_F(RealOrphansTest, SweepKillsOurOrphanAndSparesAnUnrelatedServerPy) {
    const pid_t orphan = startOrphan(ours).first;
    const pid_t stranger = startOrphan(unrelated).first;
    ASSERT_GT(orphan, 0);
    ASSERT_GT(stranger, 0);
    StandIn child = spawnStandIn({ours});  // our server with a living parent (this test)
    const pid_t living = QString::fromStdString(child.readLine()).split(' ').value(1).toInt();
    ASSERT_GT(living, 0);

    Orphans::sweep();
    EXPECT_TRUE(waitGone(orphan));
    EXPECT_TRUE(isAlive(stranger));
    EXPECT_TRUE(isAlive(living));
    EXPECT_EQ(env.logLines(), QStringList{QStringLiteral("10:00:00 уборка сирот: убрано брошенных сайдкаров 1 (pid %1) — "
                                                         "остались от запусков, умерших по сигналу")
                                              .arg(orphan)});
}

TEST_F(RealOrphansTest, FreePortKillsOurOrphanedListenerAndSparesAnUnrelatedOne) {
    const auto [orphan, orphanPort] = startOrphan(ours, {"--listen", "0"});
    ASSERT_GT(orphan, 0);
    StandIn stranger = spawnStandIn({unrelated, "--listen", "0"});
    const QStringList ready = QString::fromStdString(stranger.readLine()).split(' ');
    ASSERT_EQ(ready.size(), 3);
    const int strangerPort = ready[2].toInt();

    EXPECT_EQ(Processes::shared().tcpListeners(quint16(orphanPort)), QList<qint32>{orphan});
    Orphans::freePort(quint16(orphanPort));
    EXPECT_TRUE(waitGone(orphan));
    Orphans::freePort(quint16(strangerPort));
    EXPECT_TRUE(isAlive(stranger.pid));
    EXPECT_EQ(env.logLines(),
              (QStringList{QStringLiteral("10:00:00 порт %1: снят слушавший его процесс (pid %2) — только слушатель, "
                                          "свой pid не трогаем")
                               .arg(orphanPort)
                               .arg(orphan),
                           QStringLiteral("10:00:00 порт %1: занят чужим процессом (pid %2) — не трогаю")
                               .arg(strangerPort)
                               .arg(stranger.pid)}));
}

}  // namespace
