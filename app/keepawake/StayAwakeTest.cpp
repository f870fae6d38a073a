#include "keepawake/StayAwakeTestSupport.h"

using namespace murmelo;
using namespace murmelo::test;
using Kind = StayAwake::ArmResult::Kind;
using T = PowerAssertionType;

namespace {

class StayAwakeLocalTest : public StayAwakeFixture {
protected:
    // The switch on and the lock taken, as the settings page does it.
    StayAwake::ArmResult switchOn() {
        StayAwake::setEnabled(true);
        auto r = armAndWait();
        EXPECT_TRUE(r.has_value());
        return *r;
    }
    bool holdsNothing() const { return power.held().empty(); }
};

TEST_F(StayAwakeLocalTest, ArmingHoldsBothAssertionsUnderTheChosenHours) {
    struct Case {
        std::optional<int> storedHours;
        double expectedSeconds;  // 0 = no deadline
        QString logTail;
    };
    const Case cases[] = {
        {std::nullopt, 8 * 3600.0, QStringLiteral(" until ")},
        {1, 3600.0, QStringLiteral(" until ")},
        {0, 0.0, QStringLiteral(" without deadline; display=1")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.storedHours ? *c.storedHours : -1);
        StayAwake::resetForTesting();
        if (c.storedHours) StayAwake::setHours(*c.storedHours);
        else env.defaults().remove(QStringLiteral("stayAwakeHours"));
        const double t0 = now();
        const auto r = switchOn();
        ASSERT_EQ(r.kind, Kind::armed);
        const double expected = c.expectedSeconds > 0 ? t0 + c.expectedSeconds : 0.0;
        EXPECT_DOUBLE_EQ(r.until, expected);
        EXPECT_DOUBLE_EQ(StayAwake::armedUntil(), expected);
        EXPECT_EQ(power.heldCount(T::PreventUserIdleSystemSleep), 1);
        EXPECT_EQ(power.heldCount(T::PreventUserIdleDisplaySleep), 1);
        EXPECT_TRUE(StayAwake::isArmed());
        EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: system idle assertion active") + c.logTail));
        if (expected > 0) {
            EXPECT_TRUE(env.logContains(QStringLiteral(" until %1; display=1").arg(qint64(expected))));
        }
    }
    // The names the system shows for the holds.
    QStringList names;
    for (const auto& [id, h] : power.held()) names << h.name;
    EXPECT_TRUE(names.contains(QStringLiteral("Ondrix: не усыплять компьютер по простою")));
    EXPECT_TRUE(names.contains(QStringLiteral("Ondrix: keep display on while lid is open")));
}

TEST_F(StayAwakeLocalTest, BatteryAtOrUnderTheFloorRefusesTheLock) {
    struct Case {
        std::optional<PowerSourceState> battery;
        std::optional<int> floor;  // none: the key is absent (20)
        bool arms;
        QString message;
    };
    const Case cases[] = {
        {PowerSourceState{20, false}, std::nullopt, false, QStringLiteral("Заряд 20% уже достиг выбранного порога 20%")},
        {PowerSourceState{21, false}, std::nullopt, true, {}},
        {PowerSourceState{7, false}, 10, false, QStringLiteral("Заряд 7% уже достиг выбранного порога 10%")},
        {PowerSourceState{3, true}, 30, true, {}},   // mains power: any level
        {std::nullopt, 30, true, {}},                // no battery: the floor never applies
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.isEmpty() ? QStringLiteral("arms").toStdString() : c.message.toStdString());
        StayAwake::resetForTesting();
        power.battery = c.battery;
        if (c.floor) StayAwake::setBatteryFloor(*c.floor);
        else env.defaults().remove(QStringLiteral("stayAwakeBatteryFloor"));
        StayAwake::setArmedUntil(12345);
        const auto r = switchOn();
        if (c.arms) {
            EXPECT_EQ(r.kind, Kind::armed);
            EXPECT_TRUE(StayAwake::isEnabled());
        } else {
            EXPECT_EQ(r.kind, Kind::failed);
            EXPECT_EQ(r.message, c.message);
            EXPECT_FALSE(StayAwake::isEnabled());
            EXPECT_EQ(StayAwake::armedUntil(), 0.0);
            EXPECT_TRUE(holdsNothing());
        }
    }
}

// Numbers a damaged settings file may hold: out of range they read as the key's default.
TEST_F(StayAwakeLocalTest, StoredNumbersOutOfRangeReadAsTheirDefaults) {
    env.defaults().set(QStringLiteral("stayAwakeHours"), 5e24);
    env.defaults().set(QStringLiteral("stayAwakeBatteryFloor"), -1e300);
    EXPECT_EQ(StayAwake::hours(), 8);
    EXPECT_EQ(StayAwake::batteryFloor(), 20);
    StayAwake::setArmedUntil(1e300);
    EXPECT_EQ(StayAwake::armedUntil(), 0.0);
    EXPECT_EQ(env.logLines().filter(QStringLiteral(" вне допустимого диапазона — взято значение по умолчанию")).size(), 3);
}

TEST_F(StayAwakeLocalTest, AnAssertionThatCannotBeCreatedLeavesNothingHeld) {
    power.failNextSystem = -536870199;
    auto r = switchOn();
    EXPECT_EQ(r.kind, Kind::failed);
    EXPECT_EQ(r.message, QStringLiteral("система не создала запрет сна по бездействию"));
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: системный assertion не встал (IOReturn -536870199)")));
    EXPECT_TRUE(holdsNothing());
    EXPECT_EQ(StayAwake::status(), StayAwake::Status::enabledButOff);

    // A failing display hold gives the system hold back too.
    power.failNextDisplay = -536870212;
    r = switchOn();
    EXPECT_EQ(r.kind, Kind::failed);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: display assertion failed (IOReturn -536870212)")));
    EXPECT_TRUE(holdsNothing());
    EXPECT_FALSE(StayAwake::systemIdleAssertionIsHeld());
}

TEST_F(StayAwakeLocalTest, TheHoursLimitReleasesTheLockAndTurnsTheSwitchOff) {
    StayAwake::setHours(1);
    ASSERT_EQ(switchOn().kind, Kind::armed);
    env.advance(3600 - 31);
    EXPECT_TRUE(StayAwake::isArmed());
    env.advance(31);  // the 30 s check at or after the deadline
    EXPECT_FALSE(StayAwake::isEnabled());
    EXPECT_EQ(StayAwake::armedUntil(), 0.0);
    EXPECT_TRUE(holdsNothing());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: deadline expired; normal sleep restored (check: timer)")));
    EXPECT_EQ(env.queue().pendingTimers(), 0u);
    EXPECT_FALSE(power.observesSleep());
    EXPECT_EQ(StayAwake::status(), StayAwake::Status::off);
}

TEST_F(StayAwakeLocalTest, TheBatteryFloorReleasesTheLockAtTheNextCheck) {
    power.setBattery(40, false);
    StayAwake::setHours(0);
    ASSERT_EQ(switchOn().kind, Kind::armed);
    power.setBattery(21, false);
    env.advance(30);
    EXPECT_TRUE(StayAwake::isArmed());
    power.setBattery(20, false);
    env.advance(30);
    EXPECT_FALSE(StayAwake::isEnabled());
    EXPECT_TRUE(holdsNothing());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: battery reached 20%; normal sleep restored")));
}

TEST_F(StayAwakeLocalTest, ADeadlinePassedDuringSleepIsCaughtOnWake) {
    StayAwake::setHours(1);
    ASSERT_EQ(switchOn().kind, Kind::armed);
    power.willSleep();
    env.clock().setNow(env.clock().now().addSecs(2 * 3600));  // asleep: no timer ran
    power.didWake();
    EXPECT_FALSE(StayAwake::isEnabled());
    EXPECT_TRUE(holdsNothing());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: deadline expired; normal sleep restored (check: wake)")));
}

TEST_F(StayAwakeLocalTest, ReleaseKeepsTheSwitchAndStopsEverything) {
    ASSERT_EQ(switchOn().kind, Kind::armed);
    StayAwake::release();
    EXPECT_TRUE(StayAwake::isEnabled());
    EXPECT_EQ(StayAwake::armedUntil(), 0.0);
    EXPECT_TRUE(holdsNothing());
    EXPECT_EQ(env.queue().pendingTimers(), 0u);
    EXPECT_FALSE(power.observesSleep());
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: локальный запрет снят, обычный сон снова разрешён")));
    EXPECT_EQ(StayAwake::status(), StayAwake::Status::enabledButOff);
}

TEST_F(StayAwakeLocalTest, ArmingAgainKeepsTheHoldsAndCountsTheDeadlineFromNow) {
    StayAwake::setHours(1);
    ASSERT_EQ(switchOn().kind, Kind::armed);
    const auto ids = power.held();
    env.advance(1800);
    const auto r = armAndWait();
    ASSERT_EQ(r->kind, Kind::armed);
    EXPECT_DOUBLE_EQ(r->until, now() + 3600);
    EXPECT_EQ(power.held().size(), ids.size());
    EXPECT_EQ(power.held().begin()->first, ids.begin()->first);
    env.advance(3600 - 60);
    EXPECT_TRUE(StayAwake::isArmed());  // the first deadline has passed by now
}

TEST_F(StayAwakeLocalTest, ClosingTheLidDropsTheDisplayHoldAndChecksAfterFiveSeconds) {
    StayAwake::setHours(0);
    ASSERT_EQ(switchOn().kind, Kind::armed);
    power.lid = true;
    env.advance(0.5);
    EXPECT_EQ(power.heldCount(T::PreventUserIdleDisplaySleep), 0);
    EXPECT_EQ(power.heldCount(T::PreventUserIdleSystemSleep), 1);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: lid closed; display assertion released; checking process in 5s")));
    env.advance(4.9);
    EXPECT_FALSE(env.logContains(QStringLiteral("lid check passed")));
    env.advance(0.1);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: lid check passed - closed for 5s while process kept running")));

    power.lid = false;
    env.advance(0.5);
    EXPECT_EQ(power.heldCount(T::PreventUserIdleDisplaySleep), 1);
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: lid opened; display assertion restored")));
}

TEST_F(StayAwakeLocalTest, ReopeningOrSleepingCancelsThePendingLidCheck) {
    const QString passed = QStringLiteral("lid check passed");
    StayAwake::setHours(0);
    ASSERT_EQ(switchOn().kind, Kind::armed);

    power.lid = true;
    env.advance(2);
    power.lid = false;
    env.advance(0.5);
    power.lid = true;  // closed again: a fresh 5 s
    env.advance(4.5);
    EXPECT_FALSE(env.logContains(passed));
    env.advance(1);
    EXPECT_EQ(env.logText().count(passed), 1);

    power.lid = false;
    env.advance(0.5);
    power.lid = true;
    env.advance(1);
    power.willSleep();
    EXPECT_TRUE(env.logContains(QStringLiteral("stay-awake: macOS will sleep; lid confirmation sound cancelled")));
    env.advance(10);
    EXPECT_EQ(env.logText().count(passed), 1);
}

TEST_F(StayAwakeLocalTest, ArmingWithTheLidClosedHoldsOnlyTheSystemAssertion) {
    power.lid = true;
    StayAwake::setHours(0);
    ASSERT_EQ(switchOn().kind, Kind::armed);
    EXPECT_EQ(power.heldCount(T::PreventUserIdleDisplaySleep), 0);
    EXPECT_TRUE(env.logContains(QStringLiteral("; display=0")));
    env.advance(10);  // closed all along: no check
    EXPECT_FALSE(env.logContains(QStringLiteral("checking process in 5s")));
    power.lid = false;
    env.advance(0.5);
    EXPECT_EQ(power.heldCount(T::PreventUserIdleDisplaySleep), 1);
    power.lid = true;
    env.advance(0.5);
    EXPECT_TRUE(env.logContains(QStringLiteral("checking process in 5s")));
}

TEST_F(StayAwakeLocalTest, WithoutALidArmingAlwaysTakesTheDisplayHold) {
    power.lid.reset();
    ASSERT_EQ(switchOn().kind, Kind::armed);
    EXPECT_EQ(power.heldCount(T::PreventUserIdleDisplaySleep), 1);
    EXPECT_FALSE(StayAwake::hasLid());
    env.advance(60);
    EXPECT_FALSE(env.logContains(QStringLiteral("lid ")));
}

TEST(StayAwakeRulesTest, ReleaseReasonAndLidConfirmation) {
    using S = LocalPowerState;
    EXPECT_EQ(StayAwake::localReleaseReason(100, 100, 20, S{10, false}), QStringLiteral("deadline"));  // deadline wins
    EXPECT_EQ(StayAwake::localReleaseReason(100, 101, 20, S{20, false}), QStringLiteral("battery"));
    EXPECT_EQ(StayAwake::localReleaseReason(100, 0, 20, S{21, false}), std::nullopt);
    EXPECT_EQ(StayAwake::localReleaseReason(100, 0, 20, S{1, true}), std::nullopt);
    EXPECT_EQ(StayAwake::localReleaseReason(100, 0, 20, std::nullopt), std::nullopt);

    EXPECT_TRUE(StayAwake::shouldConfirmClosedLid(false, true));
    EXPECT_FALSE(StayAwake::shouldConfirmClosedLid(std::nullopt, true));
    EXPECT_FALSE(StayAwake::shouldConfirmClosedLid(true, true));
    EXPECT_FALSE(StayAwake::shouldConfirmClosedLid(false, false));
}

}  // namespace
