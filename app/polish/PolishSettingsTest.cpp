#include "polish/PolishSettings.h"

#include "ScopedEnv.h"
#include "TestEnvironment.h"
#include "input/TapConsumers.h"
#include "vocabulary/CorrectorManager.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::ScopedEnv;

class PolishSettingsTest : public ::testing::Test {
protected:
    PolishSettingsTest() {
        steps.startCorrector = [this](bool force) { calls << (force ? "start forced" : "start"); };
        steps.stopCorrector = [this] { calls << "stop"; };
        steps.hideCard = [this] { calls << "hide card"; };
        steps.polishUnderlineClear = [this] { calls << "clear marks"; };
    }
    QString lastLine() const { return env.logLines().isEmpty() ? QString() : env.logLines().back().mid(9); }

    test::TestEnvironment env;
    PolishSwitchSteps steps;
    ScopedService<PolishSwitchSteps> stepsScope{steps};
    QStringList calls;
};

TEST_F(PolishSettingsTest, SwitchingStoresStartsOrStopsAndClearsAndSaysSo) {
    setPolishEnabled(true);
    EXPECT_EQ(env.defaults().realBool("polishEnabled"), true);
    EXPECT_TRUE(isPolishEnabled());
    EXPECT_EQ(calls, QStringList{"start"});
    EXPECT_EQ(lastLine(), "полировка: вкл");

    calls.clear();
    setPolishEnabled(false);
    EXPECT_EQ(env.defaults().realBool("polishEnabled"), false);
    EXPECT_FALSE(TapPolish::isPolishEnabled());
    EXPECT_EQ(calls, QStringList({"stop", "hide card", "clear marks"}));
    EXPECT_EQ(lastLine(), "полировка: выкл");

    steps.polishUnderlineClear = nullptr;
    setPolishEnabled(false);
    EXPECT_TRUE(env.logText().contains("polish/underline: подчёркивания ещё не собраны — снимать нечего"));
}

TEST_F(PolishSettingsTest, EditRepairFollowsItsSettingUnlessTheEnvironmentSaysExactlyZero) {
    struct Case {
        const char* name;
        std::optional<QByteArray> variable;
        std::optional<bool> off;
        bool on;
    };
    const std::vector<Case> cases = {
        {"nothing set", std::nullopt, std::nullopt, true},
        {"switched off in the settings", std::nullopt, true, false},
        {"\"1\" does not overrule the settings", QByteArray("1"), true, false},
        {"\"0\" with the setting absent", QByteArray("0"), std::nullopt, false},
        {"\"0\" with the setting false", QByteArray("0"), false, false},
        {"an empty variable", QByteArray(""), false, true},
    };
    for (const Case& c : cases) {
        ScopedEnv variable("MURMELO_POLISH_EDIT_REPAIR", c.variable);
        env.defaults().remove("polishEditRepairOff");
        if (c.off) env.defaults().set("polishEditRepairOff", *c.off);
        EXPECT_EQ(isPolishEditRepairEnabled(), c.on) << c.name;
    }
}

}  // namespace
