#pragma once
#include "keepawake/StayAwake.h"
#include "platform/Service.h"
#include "sim/SimPower.h"

#include <TestEnvironment.h>
#include <gtest/gtest.h>
#include <optional>

namespace murmelo::test {

// A fresh environment with a simulated laptop (battery on mains, lid open) and the
// keep-awake service's process state cleared before and after.
class StayAwakeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        powerScope_.emplace(power);
        power.setBattery(80, true);
        power.lid = false;
        StayAwake::resetForTesting();
    }
    void TearDown() override {
        StayAwake::resetForTesting();
        powerScope_.reset();
    }

    double now() const { return double(const_cast<TestEnvironment&>(env).clock().now().toMSecsSinceEpoch()) / 1000.0; }
    void setDaemonMode() { env.defaults().set(QStringLiteral("stayAwakeAssumeSupported"), true); }

    // Arms and returns the result once the completion ran (daemon mode lets the queue run
    // until it did).
    std::optional<StayAwake::ArmResult> armAndWait(double maxSeconds = 20) {
        std::optional<StayAwake::ArmResult> result;
        StayAwake::arm([&result](const StayAwake::ArmResult& r) { result = r; });
        for (double t = 0; !result && t < maxSeconds; t += 0.5) {
            env.runPending();
            if (!result) env.advance(0.5);
        }
        return result;
    }

    TestEnvironment env;
    sim::SimPower power;

private:
    std::optional<ScopedService<Power>> powerScope_;
};

}  // namespace murmelo::test
