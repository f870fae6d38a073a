#include "polish/PolishSettings.h"

#include "ScopedEnv.h"
#include "TestEnvironment.h"
#include "input/TapConsumers.h"
#include "vocabulary/CorrectorManager.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::ScopedEnv;

// The switch's neighbours, heard in the order they are asked.
struct HeardSwitch : PolishSwitchSteps {
    QStringList calls;
    void startCorrector(bool force) override { calls << (force ? "start forced" : "start"); }
    void stopCorrector() override { calls << "stop"; }
    void hideCard() override { calls << "hide card"; }
    void polishUnderlineClear() override { calls << "clear marks"; }
};

class PolishSettingsTest : public ::testing::Test {
protected:
    QString lastLine() const { return env.logLines().isEmpty() ? QString() : env.logLines().back().mid(9); }

    test::TestEnvironment env;
    HeardSwitch steps;
    ScopedService<PolishSwitchSteps> stepsScope{steps};
    QStringList& calls = steps.calls;
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
