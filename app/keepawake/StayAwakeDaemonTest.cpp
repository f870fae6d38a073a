#include "keepawake/StayAwakeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace murmelo;
using namespace murmelo::test;
using Kind = StayAwake::ArmResult::Kind;

namespace {

QString readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
    return QString::fromUtf8(f.readAll());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class StayAwakeDaemonTest : public StayAwakeFixture {
protected:
    void SetUp() override {
        StayAwakeFixture::SetUp();
        setDaemonMode();
    }
};

TEST_F(StayAwakeDaemonTest, StateFilesLiveInTheDataFolder) {
    EXPECT_EQ(StayAwake::stateDir(), env.root() + QStringLiteral("/data/Murmelo/stay-awake"));
    EXPECT_TRUE(StayAwake::tokenPath().endsWith(QStringLiteral("/stay-awake/armed")));
    EXPECT_TRUE(StayAwake::beatPath().endsWith(QStringLiteral("/stay-awake/beat")));
    EXPECT_TRUE(StayAwake::reasonPath().endsWith(QStringLiteral("/stay-awake/reason")));
}

TEST_F(StayAwakeDaemonTest, ArmingWritesTheTokenAndTheGuardTakesTheSleepLock) {
    StayAwake::setEnabled(true);
    StayAwake::setHours(4);
    StayAwake::setBatteryFloor(30);
    writeFile(StayAwake::reasonPath(), "battery\n");  // an old reason goes
    const double deadline = now() + 4 * 3600;
    const auto r = armAndWait();
    ASSERT_TRUE(r);
    ASSERT_EQ(r->kind, Kind::armed);
    EXPECT_DOUBLE_EQ(r->until, deadline);
    EXPECT_EQ(readFile(StayAwake::tokenPath()), QStringLiteral("%1\n30\n").arg(qint64(deadline)));
    EXPECT_FALSE(QFileInfo::exists(StayAwake::reasonPath()));
    EXPECT_TRUE(power.holdsSleepLock());
    EXPECT_TRUE(StayAwake::isInstalled());
    EXPECT_TRUE(StayAwake::isArmed());
    EXPECT_DOUBLE_EQ(StayAwake::armedUntil(), deadline);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: жетон поставлен (срок 4 ч, пол батареи 30%)")));
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: запрет сна СТОИТ; крышка усыпляет: yes")));
    EXPECT_EQ(StayAwake::status(), StayAwake::Status::armed);
    // Daemon mode keeps no idle holds of its own.
    EXPECT_TRUE(power.held().empty());

    StayAwake::setHours(0);
    ASSERT_EQ(armAndWait()->kind, Kind::armed);
    EXPECT_TRUE(env.logContains(QStringLiteral("(срок без ограничения, пол батареи 30%)")));
    EXPECT_EQ(readFile(StayAwake::tokenPath()), QStringLiteral("0\n30\n"));
}

TEST_F(StayAwakeDaemonTest, TheGuardEndsTheLockAtTheDeadlineAndLeavesTheReason) {
    StayAwake::setEnabled(true);
    StayAwake::setHours(1);
    ASSERT_EQ(armAndWait()->kind, Kind::armed);
    env.clock().setNow(env.clock().now().addSecs(3600));
    env.advance(StayAwake::GUARD_POLL_SECONDS);
    EXPECT_FALSE(power.holdsSleepLock());
    EXPECT_FALSE(StayAwake::tokenExists());
    EXPECT_EQ(readFile(StayAwake::reasonPath()), QStringLiteral("deadline\n"));
    EXPECT_EQ(StayAwake::takeLastReason(), QStringLiteral("deadline"));
    EXPECT_FALSE(QFileInfo::exists(StayAwake::reasonPath()));
    EXPECT_EQ(StayAwake::takeLastReason(), std::nullopt);
}

TEST_F(StayAwakeDaemonTest, TheGuardReadsTheTokenLineByLine) {
    struct Case {
        QByteArray token;
        PowerSourceState battery;
        bool held;
        QString reason;  // empty: none written
    };
    const Case cases[] = {
        {"0\n", {20, false}, false, QStringLiteral("battery\n")},      // no floor line: 20
        {"0\n", {21, false}, true, {}},
        {"0\nx\n", {20, false}, false, QStringLiteral("battery\n")},   // a bad floor: 20
        {"12ab\n25\n", {26, false}, true, {}},                         // a bad deadline: none
        {"-5\n25\n", {26, false}, true, {}},
        {"0\n25\n", {5, true}, true, {}},                              // mains: no battery end
        {"1\n25\n", {90, true}, false, QStringLiteral("deadline\n")},  // long past
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token.toStdString());
        StayAwake::resetForTesting();
        QFile::remove(StayAwake::reasonPath());
        power.battery = c.battery;
        writeFile(StayAwake::tokenPath(), c.token);
        StayAwake::startGuard();
        EXPECT_EQ(power.holdsSleepLock(), c.held);
        EXPECT_EQ(StayAwake::tokenExists(), c.held);
        if (c.reason.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(StayAwake::reasonPath()));
        } else {
            EXPECT_EQ(readFile(StayAwake::reasonPath()), c.reason);
        }
    }
}

TEST_F(StayAwakeDaemonTest, ArmingOnALowBatteryFailsAfterFifteenChecks) {
    power.setBattery(15, false);
    StayAwake::startGuard();  // running, holding nothing
    StayAwake::setEnabled(true);
    std::optional<StayAwake::ArmResult> r;
    StayAwake::arm([&r](const StayAwake::ArmResult& a) { r = a; });
    env.runPending();
    env.advance(13.9);
    EXPECT_FALSE(r);
    EXPECT_TRUE(StayAwake::tokenExists());
    env.advance(0.1);
    env.runPending();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, Kind::failed);
    EXPECT_EQ(r->message, QStringLiteral("система не приняла запрет сна"));
    EXPECT_FALSE(StayAwake::tokenExists());
    EXPECT_FALSE(QFileInfo::exists(StayAwake::reasonPath()));
    EXPECT_FALSE(power.holdsSleepLock());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: жетон стоит, но SleepDisabled так и не встал - режим не поднят")));
    // The switch stays for the caller to clear.
    EXPECT_TRUE(StayAwake::isEnabled());
    EXPECT_EQ(StayAwake::status(), StayAwake::Status::enabledButOff);
    EXPECT_EQ(StayAwake::statusText(), QStringLiteral("Включено, но системный запрет сна не стоит."));
}

TEST_F(StayAwakeDaemonTest, AnUnwritableTokenFailsTheArm) {
    writeFile(StayAwake::tokenPath() + QStringLiteral("/blocker"), "");  // the token path is a folder
    const auto r = armAndWait();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, Kind::failed);
    EXPECT_EQ(r->message, QStringLiteral("не смог записать жетон"));
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: не смог записать жетон: ")));
}

TEST_F(StayAwakeDaemonTest, ReleasingRemovesTheTokenAndWaitsForTheGuard) {
    StayAwake::setEnabled(true);
    ASSERT_EQ(armAndWait()->kind, Kind::armed);
    StayAwake::release();
    EXPECT_FALSE(StayAwake::tokenExists());
    EXPECT_EQ(StayAwake::armedUntil(), 0.0);
    EXPECT_TRUE(StayAwake::isEnabled());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: жетон снят, жду сторожа")));
    env.advance(StayAwake::GUARD_POLL_SECONDS);
    EXPECT_FALSE(power.holdsSleepLock());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: запрет сна снят, машина снова засыпает")));

    // Another program's lock does not go away: only the warning, after twelve checks.
    ASSERT_EQ(armAndWait()->kind, Kind::armed);
    power.foreignSleepLock = true;
    StayAwake::release();
    env.advance(10.9);
    EXPECT_FALSE(env.logContains(QStringLiteral("⚠ жетон снят")));
    env.advance(0.1);
    EXPECT_TRUE(env.logContains(
        QStringLiteral("stay-awake: ⚠ жетон снят, но SleepDisabled ещё стоит - сторожа, похоже, нет")));
}

TEST_F(StayAwakeDaemonTest, TheHeartbeatIsStaleFromThirtySeconds) {
    EXPECT_FALSE(StayAwake::guardIsAlive());  // no file
    StayAwake::startGuard();
    StayAwake::stopGuard();
    env.advance(29);
    EXPECT_TRUE(StayAwake::guardIsAlive());
    env.advance(1);
    EXPECT_FALSE(StayAwake::guardIsAlive());
}

TEST_F(StayAwakeDaemonTest, AReasonOfOnlyWhiteSpaceIsNoneAndIsDeleted) {
    writeFile(StayAwake::reasonPath(), " \n\t\n");
    EXPECT_EQ(StayAwake::takeLastReason(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(StayAwake::reasonPath()));
}

TEST_F(StayAwakeDaemonTest, ForceReleaseAndUninstallDropTheLock) {
    StayAwake::setEnabled(true);
    ASSERT_EQ(armAndWait()->kind, Kind::armed);
    std::optional<std::optional<QString>> done;
    StayAwake::forceRelease([&done](const std::optional<QString>& e) { done = e; });
    EXPECT_FALSE(done);  // always later
    env.runPending();
    ASSERT_TRUE(done);
    EXPECT_EQ(*done, std::nullopt);
    EXPECT_FALSE(power.holdsSleepLock());
    EXPECT_FALSE(StayAwake::tokenExists());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: запрет снят вручную")));
    env.advance(StayAwake::GUARD_POLL_SECONDS);
    EXPECT_FALSE(power.holdsSleepLock());

    ASSERT_EQ(armAndWait()->kind, Kind::armed);
    writeFile(StayAwake::reasonPath(), "battery\n");
    done.reset();
    StayAwake::uninstall([&done](const std::optional<QString>& e) { done = e; });
    env.runPending();
    ASSERT_TRUE(done);
    EXPECT_FALSE(power.holdsSleepLock());
    EXPECT_FALSE(StayAwake::isInstalled());
    EXPECT_FALSE(StayAwake::isEnabled());
    EXPECT_FALSE(StayAwake::tokenExists());
    EXPECT_FALSE(QFileInfo::exists(StayAwake::beatPath()));
    EXPECT_TRUE(QFileInfo::exists(StayAwake::reasonPath()));
    EXPECT_EQ(env.queue().pendingTimers(), 0u);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: демон снят, в системе не осталось ничего")));
}

}  // namespace
