#include "keepawake/StayAwakeTestSupport.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace murmelo;
using namespace murmelo::test;
using Status = StayAwake::Status;
using T = PowerAssertionType;

namespace {

using test::writeFile;

// A heartbeat of the given age in the test's time.
void writeBeat(TestEnvironment& env, double ageSeconds) {
    writeFile(StayAwake::beatPath(), "");
    QFile f(StayAwake::beatPath());
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.setFileTime(env.clock().now().addMSecs(qint64(-ageSeconds * 1000)), QFileDevice::FileModificationTime);
}

class StayAwakeStatusTest : public StayAwakeFixture {};

TEST_F(StayAwakeStatusTest, DaemonModeStatusFollowsFlagTokenHeartbeatAndSwitch) {
    struct Case {
        const char* name;
        bool foreignLock;
        bool token;
        std::optional<double> beatAge;
        bool enabled;
        bool guardRunning;
        Status expected;
        QString shortText;
    };
    const Case cases[] = {
        {"someone else's lock, no guard", true, false, std::nullopt, false, false, Status::foreign,
         QStringLiteral("запрет сна стоит не от нас")},
        {"someone else's lock, guard alive", true, false, 5, false, false, Status::armed,
         QStringLiteral("работает, пока не выключишь")},
        {"token, lock, stale heartbeat", true, true, 30, false, false, Status::orphan,
         QStringLiteral("⚠ запрет стоит, служба не работает - см. Настройки")},
        {"token, lock, heartbeat 29 s", true, true, 29, false, false, Status::armed, {}},
        {"switch on, guard alive, no lock", false, false, 1, true, false, Status::enabledButOff,
         QStringLiteral("запрет сна не сработал")},
        {"never set up", false, false, std::nullopt, false, false, Status::needsSetup,
         QStringLiteral("первое включение спросит пароль")},
        {"guard running", false, false, std::nullopt, false, true, Status::off,
         QStringLiteral("компьютер засыпает по обычным настройкам")},
    };
    setDaemonMode();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StayAwake::resetForTesting();
        QFile::remove(StayAwake::tokenPath());
        QFile::remove(StayAwake::beatPath());
        StayAwake::setArmedUntil(0);
        power.foreignSleepLock = c.foreignLock;
        if (c.guardRunning) StayAwake::startGuard();
        if (c.token) writeFile(StayAwake::tokenPath(), "0\n20\n");
        if (c.beatAge) writeBeat(env, *c.beatAge);
        StayAwake::setEnabled(c.enabled);
        EXPECT_EQ(StayAwake::status(), c.expected);
        if (!c.shortText.isEmpty()) {
            EXPECT_EQ(StayAwake::shortStatusText(), c.shortText);
        }
    }
}

TEST_F(StayAwakeStatusTest, ArmedTextsCarryTheDeadlineAndTheLidHint) {
    StayAwake::setEnabled(true);
    StayAwake::setHours(4);  // 10:00 + 4 h in the test's local time
    ASSERT_EQ(armAndWait()->kind, StayAwake::ArmResult::Kind::armed);
    EXPECT_EQ(StayAwake::shortStatusText(), QStringLiteral("работает до 14:00"));
    EXPECT_EQ(StayAwake::statusText(),
              QStringLiteral("Работает до 14:00: компьютер не уснёт от бездействия. Через 5 секунд после закрытия прозвучит "
                             "контрольный сигнал, если процесс работает. Для штатного режима системы нужны питание и "
                             "внешний дисплей."));
    power.lid.reset();
    StayAwake::setHours(0);
    ASSERT_EQ(armAndWait()->kind, StayAwake::ArmResult::Kind::armed);
    EXPECT_EQ(StayAwake::statusText(), QStringLiteral("Работает: компьютер не уснёт от бездействия, пока Ondrix запущена. "
                                                      "Экран и процессы останутся активными."));
    EXPECT_EQ(StayAwake::shortStatusText(), QStringLiteral("работает, пока не выключишь"));

    setDaemonMode();
    StayAwake::setHours(4);
    ASSERT_EQ(armAndWait()->kind, StayAwake::ArmResult::Kind::armed);
    EXPECT_EQ(StayAwake::statusText(), QStringLiteral("Работает и при закрытой крышке до 14:00."));
}

TEST_F(StayAwakeStatusTest, ReportHasFourteenLinesWithValuesInColumnThirtyTwo) {
    StayAwake::setEnabled(true);
    StayAwake::setHours(0);
    ASSERT_EQ(armAndWait()->kind, StayAwake::ArmResult::Kind::armed);
    const QString text = StayAwake::report();
    EXPECT_FALSE(text.endsWith(QLatin1Char('\n')));
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 14);
    const QStringList expected = {
        QStringLiteral("public mode:                   idle-sleep prevention"),
        QStringLiteral("logind idle inhibitor:         1 - active"),
        QStringLiteral("logind display inhibitor:      1 - active"),
        QStringLiteral("logind sleep block:            0 - sleep allowed"),
        QStringLiteral("lid switch suspends:           yes (diagnostic only)"),
        QStringLiteral("with the lid closed:           keeps running when docked: power + external display"),
        QStringLiteral("lid closed:                    no"),
        QStringLiteral("daemon:                        not installed"),
        QStringLiteral("token:                         absent"),
        QStringLiteral("daemon heartbeat:              absent"),
        QStringLiteral("settings switch:               on"),
        QStringLiteral("deadline:                      no deadline"),
        QStringLiteral("battery floor:                 20%"),
        QStringLiteral("result:                        ") + StayAwake::statusText(),
    };
    EXPECT_EQ(lines, expected);

    // Daemon mode with a live guard.
    setDaemonMode();
    StayAwake::release();
    StayAwake::startGuard();
    env.advance(40);
    const QStringList d = StayAwake::report().split(QLatin1Char('\n'));
    ASSERT_EQ(d.size(), 14);
    for (const auto& line : d) EXPECT_NE(line.at(31), QLatin1Char(' ')) << line.toStdString();
    EXPECT_EQ(d[0], QStringLiteral("public mode:                   system daemon (experimental)"));
    EXPECT_EQ(d[9], QStringLiteral("daemon heartbeat:              1s ago (alive)"));

    const auto mode = StayAwake::statusMode();
    EXPECT_EQ(mode.exitStatus, 0);
    EXPECT_EQ(mode.text, StayAwake::report() + QLatin1Char('\n'));
}

TEST_F(StayAwakeStatusTest, LocalLaunchCheckResumesOrEndsTheLockOfTheLastRun) {
    struct Case {
        const char* name;
        double deadlineOffset;  // from now; 0 = none
        PowerSourceState battery;
        bool resumes;
    };
    const Case cases[] = {
        {"deadline ahead", 3600, {80, true}, true},
        {"no deadline", 0, {80, true}, true},
        {"deadline passed while closed", -1, {80, true}, false},
        {"battery at the floor", 3600, {20, false}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StayAwake::resetForTesting();
        power.battery = c.battery;
        StayAwake::setEnabled(true);
        const double until = c.deadlineOffset != 0 ? std::floor(now()) + c.deadlineOffset : 0;
        StayAwake::setArmedUntil(until);
        EXPECT_FALSE(StayAwake::checkAtLaunch());
        EXPECT_EQ(StayAwake::isEnabled(), c.resumes);
        if (c.resumes) {
            EXPECT_DOUBLE_EQ(StayAwake::armedUntil(), until);  // the old deadline, not a new one
            EXPECT_EQ(power.heldCount(T::PreventUserIdleSystemSleep), 1);
            EXPECT_EQ(StayAwake::status(), Status::armed);
            EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: system idle assertion=1 display=1 deadline=%1")
                                            .arg(until > 0 ? QString::number(qint64(until)) : QStringLiteral("none"))));
        } else {
            EXPECT_EQ(StayAwake::armedUntil(), 0.0);
            EXPECT_TRUE(power.held().empty());
            EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: system idle assertion=0 display=0 deadline=none")));
        }
    }
    // The resumed lock still ends at its deadline.
    StayAwake::resetForTesting();
    power.setBattery(80, true);
    StayAwake::setEnabled(true);
    StayAwake::setArmedUntil(now() + 60);
    StayAwake::checkAtLaunch();
    env.advance(90);
    EXPECT_FALSE(StayAwake::isEnabled());
    EXPECT_TRUE(power.held().empty());
}

TEST_F(StayAwakeStatusTest, LocalLaunchCheckWithAFailedAssertionLeavesTheSwitchOn) {
    StayAwake::setEnabled(true);
    power.failNextSystem = -1;
    EXPECT_FALSE(StayAwake::checkAtLaunch());
    EXPECT_TRUE(StayAwake::isEnabled());
    EXPECT_EQ(StayAwake::status(), Status::enabledButOff);
    EXPECT_EQ(StayAwake::shortStatusText(), QStringLiteral("запрет сна не сработал"));
}

TEST_F(StayAwakeStatusTest, DaemonLaunchCheckResumesATokenOrEndsItForItsReason) {
    setDaemonMode();
    // A lock left with a deadline still ahead: the guard takes it up again.
    StayAwake::setEnabled(true);
    writeFile(StayAwake::tokenPath(), QByteArray::number(qint64(now()) + 3600) + "\n20\n");
    EXPECT_FALSE(StayAwake::checkAtLaunch());
    EXPECT_TRUE(power.holdsSleepLock());
    EXPECT_TRUE(StayAwake::isEnabled());
    EXPECT_EQ(StayAwake::status(), Status::armed);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: SleepDisabled=1 крышка-усыпляет=yes жетон=есть сторож=жив")));

    // Its deadline passed while the program was closed: ended, and the switch goes off.
    StayAwake::resetForTesting();
    writeFile(StayAwake::tokenPath(), QByteArray::number(qint64(now()) - 10) + "\n20\n");
    EXPECT_FALSE(StayAwake::checkAtLaunch());
    EXPECT_FALSE(power.holdsSleepLock());
    EXPECT_FALSE(StayAwake::isEnabled());
    EXPECT_EQ(StayAwake::armedUntil(), 0.0);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: прошлый сеанс закончился - вышел срок")));
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: SleepDisabled=0 крышка-усыпляет=yes жетон=нет сторож=жив")));

    struct Case {
        QByteArray reason;
        QString phrase;
        bool switchStays;
    };
    const Case cases[] = {
        {"battery\n", QStringLiteral("села батарея"), false},
        {"token\n", QStringLiteral("сняли галку"), true},
        {"mystery\n", QStringLiteral("mystery"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        StayAwake::resetForTesting();
        StayAwake::setEnabled(true);
        StayAwake::setArmedUntil(now() + 100);
        writeFile(StayAwake::reasonPath(), c.reason);
        EXPECT_FALSE(StayAwake::checkAtLaunch());
        EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: прошлый сеанс закончился - ") + c.phrase));
        EXPECT_EQ(StayAwake::isEnabled(), c.switchStays);
        EXPECT_FALSE(QFileInfo::exists(StayAwake::reasonPath()));
    }
}

TEST_F(StayAwakeStatusTest, UninstallModePrintsWhatItDid) {
    setDaemonMode();
    std::optional<StayAwake::ModeOutput> out;
    StayAwake::uninstallMode([&out](const StayAwake::ModeOutput& o) { out = o; });
    env.runPending();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->text, QStringLiteral("сторож не установлен - снимать нечего\n"));
    EXPECT_EQ(out->exitStatus, 0);

    StayAwake::startGuard();
    out.reset();
    StayAwake::uninstallMode([&out](const StayAwake::ModeOutput& o) { out = o; });
    env.runPending();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->exitStatus, 0);
    EXPECT_TRUE(out->text.startsWith(QStringLiteral("public mode:")));
    EXPECT_TRUE(out->text.contains(QStringLiteral("daemon:                        not installed\n")));
    EXPECT_TRUE(out->text.endsWith(QLatin1Char('\n')));
}

}  // namespace
