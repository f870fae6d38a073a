#include "input/TapConsumers.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// The one rule that the menu, the tap and the corrector read for "polish is on".
TEST(TapPolishTest, AStoredSwitchWinsAndAnUnsetOneFollowsTheCorrectorEngine) {
    test::TestEnvironment env;
    bool engine = true;
    TapPolish::whenUnset() = [&engine] { return engine; };
    EXPECT_TRUE(TapPolish::isPolishEnabled());
    engine = false;
    EXPECT_FALSE(TapPolish::isPolishEnabled());
    TapPolish::setPolishEnabled(true);
    EXPECT_TRUE(TapPolish::isPolishEnabled());
    engine = true;
    TapPolish::setPolishEnabled(false);
    EXPECT_FALSE(TapPolish::isPolishEnabled());
    // Text is no Boolean: the switch reads as unset.
    env.defaults().set("polishEnabled", QStringLiteral("yes"));
    EXPECT_TRUE(TapPolish::isPolishEnabled());
    TapPolish::whenUnset() = nullptr;
    EXPECT_FALSE(TapPolish::isPolishEnabled());
}

}  // namespace
