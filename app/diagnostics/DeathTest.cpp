#include "diagnostics/Death.h"

#include "StandIns.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class DeathRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        forgetPrimedForDeath();
        for (int i = 0; i < DEATH_CHILD_COUNT; ++i) {
            auto c = *deathChildFromRaw(i);
            forgetChildForDeath(c, childPidForDeath(c));
        }
    }
};

TEST_F(DeathRegistryTest, ChildSlotsAreClearedOnlyByTheirOwnPid) {
    EXPECT_EQ(deathChildFromRaw(0), DeathChild::whisperServer);
    EXPECT_EQ(deathChildFromRaw(1), DeathChild::corrector);
    EXPECT_EQ(deathChildFromRaw(2), DeathChild::codexAgent);
    EXPECT_EQ(deathChildFromRaw(3), std::nullopt);
    EXPECT_EQ(deathChildFromRaw(-1), std::nullopt);

    EXPECT_EQ(childPidForDeath(DeathChild::corrector), 0);
    rememberChildForDeath(DeathChild::corrector, 424242);
    rememberChildForDeath(DeathChild::whisperServer, 434343);
    forgetChildForDeath(DeathChild::corrector, 111);
    EXPECT_EQ(childPidForDeath(DeathChild::corrector), 424242);
    forgetChildForDeath(DeathChild::corrector, 434343);  // the other slot's pid
    EXPECT_EQ(childPidForDeath(DeathChild::corrector), 424242);
    forgetChildForDeath(DeathChild::corrector, 424242);
    EXPECT_EQ(childPidForDeath(DeathChild::corrector), 0);
    EXPECT_EQ(childPidForDeath(DeathChild::whisperServer), 434343);
}

TEST_F(DeathRegistryTest, PrimedPathsUpTo1023BytesAreRememberedLongerOnesForgetTheOld) {
    const QString base = QStringLiteral("/tmp/");
    const QString fits = base + QString(1023 - base.size(), 'a');
    const QString tooLong = base + QString(1024 - base.size(), 'b');
    ASSERT_EQ(fits.toUtf8().size(), 1023);
    ASSERT_EQ(tooLong.toUtf8().size(), 1024);

    rememberPrimedForDeath(fits);
    EXPECT_EQ(primedPathForDeath(), fits);
    rememberPrimedForDeath(tooLong);
    EXPECT_EQ(primedPathForDeath(), std::nullopt);

    // Multi-byte characters count in bytes: 512 Cyrillic letters are 1024 bytes.
    rememberPrimedForDeath(QStringLiteral("/tmp/запись.wav"));
    rememberPrimedForDeath(QString(512, QChar(0x0436)));
    EXPECT_EQ(primedPathForDeath(), std::nullopt);

    rememberPrimedForDeath(QStringLiteral("/tmp/запись.wav"));
    forgetPrimedForDeath();
    EXPECT_EQ(primedPathForDeath(), std::nullopt);
}

// A whole application (a stand-in host) is signalled; what it leaves behind is checked
// from outside.
struct DeathCase {
    int signal;
    bool orderly;  // exits with status 0 through the quit path
    const char* lastLine;
    const char* quitLine = nullptr;  // of an orderly quit
};

// The death host finds its log through TMPDIR: the test's value must reach it even when
// the caller has one of its own.
TEST(StandInEnvironmentTest, ExtraEnvironmentOverridesTheCallersOwn) {
    const QByteArray saved = qgetenv("TMPDIR");
    const bool had = qEnvironmentVariableIsSet("TMPDIR");
    qputenv("TMPDIR", "/caller/tmp");
    StandIn shown = spawnStandIn({QStringLiteral("/usr/bin/printenv"), QStringLiteral("TMPDIR")},
                                 {QStringLiteral("TMPDIR=/test/tmp")});
    const std::string line = shown.readLine();
    if (had) qputenv("TMPDIR", saved);
    else qunsetenv("TMPDIR");
    EXPECT_EQ(line, "/test/tmp");
    EXPECT_EQ(shown.wait(), 0);
}

class DeathHostTest : public ::testing::TestWithParam<DeathCase> {
protected:
    QTemporaryDir dir;
};

TEST_P(DeathHostTest, SignalLeavesNoServerNoPrimedFileAndOneRawLastLine) {
    const DeathCase c = GetParam();
    const QString primed = dir.filePath(QStringLiteral("primed.wav"));
    StandIn host = spawnStandIn({toolPath("murmelo-test-death-host"), toolPath("murmelo-test-sidecar"), primed},
                                {QStringLiteral("TMPDIR=") + dir.path()});
    ASSERT_GT(host.pid, 0);
    const QStringList ready = QString::fromStdString(host.readLine()).split(' ');
    ASSERT_EQ(ready.size(), 3) << ready.join(' ').toStdString();
    const pid_t server = ready[1].toInt();
    const pid_t corrector = ready[2].toInt();
    ASSERT_TRUE(isAlive(server));
    ASSERT_TRUE(isAlive(corrector));
    ASSERT_TRUE(QFileInfo::exists(primed));

    ASSERT_EQ(::kill(host.pid, c.signal), 0);
    const int status = host.wait();
    ASSERT_NE(status, -1) << "host did not end";
    if (c.orderly) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    }

    EXPECT_TRUE(waitGone(server));
    EXPECT_TRUE(waitGone(corrector));
    EXPECT_FALSE(QFileInfo::exists(primed));

    QFile log(dir.filePath(QStringLiteral("murmelo-tests.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(log.readAll()).split('\n');
    ASSERT_TRUE(lines.size() >= 2 && lines.last().isEmpty());
    lines.removeLast();
    EXPECT_EQ(lines.last(), QString::fromUtf8(c.lastLine));  // no time stamp
    EXPECT_EQ(lines.filter(QStringLiteral("⚰")).size(), 1);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("инструментовка смерти установлена")));
    const bool flushed = !lines.filter(QStringLiteral("статистика и настройки записаны")).isEmpty();
    EXPECT_EQ(flushed, c.orderly);
    if (c.orderly) {
        EXPECT_FALSE(lines.filter(QString::fromUtf8(c.quitLine)).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, DeathHostTest,
    ::testing::Values(DeathCase{SIGTERM, true, "⚰ Murmelo вышел: штатный exit/atexit (не сигнал)", "выход: SIGTERM от сеанса"},
                      DeathCase{SIGHUP, true, "⚰ Murmelo вышел: штатный exit/atexit (не сигнал)",
                                "выход: SIGHUP: терминал закрыт"},
                      DeathCase{SIGINT, false, "⚰ Murmelo умер: SIGINT"},
                      DeathCase{SIGSEGV, false, "⚰ Murmelo умер: SIGSEGV (плохой адрес — баг памяти в коде)"},
                      DeathCase{SIGABRT, false, "⚰ Murmelo умер: SIGABRT (abort / std::terminate / precondition)"}));

}  // namespace

namespace {

// Started under nohup, the program outlives its terminal: an ignored SIGHUP stays ignored.
TEST(DeathHostHangup, AnIgnoredSighupStaysIgnored) {
    QTemporaryDir dir;
    const QString primed = dir.filePath(QStringLiteral("primed.wav"));
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &previous), 0);
    StandIn host = spawnStandIn({toolPath("murmelo-test-death-host"), toolPath("murmelo-test-sidecar"), primed},
                                {QStringLiteral("TMPDIR=") + dir.path()});
    ::sigaction(SIGHUP, &previous, nullptr);
    ASSERT_GT(host.pid, 0);
    ASSERT_EQ(QString::fromStdString(host.readLine()).split(' ').size(), 3);

    // The hang-up is handled before the SIGTERM (pending signals go lowest number first):
    // had it been taken, the SIGTERM would find a quit under way and end the host raw.
    ASSERT_EQ(::kill(host.pid, SIGHUP), 0);
    ASSERT_EQ(::kill(host.pid, SIGTERM), 0);
    const int status = host.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    QFile log(dir.filePath(QStringLiteral("murmelo-tests.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("выход: SIGTERM от сеанса"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("SIGHUP"))) << text.toStdString();
}

}  // namespace
