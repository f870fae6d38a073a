#include "linux/PortalColorScheme.h"

#include <gtest/gtest.h>

using murmelo::linuxdesktop::PortalColorScheme;

TEST(PortalColorSchemeTest, OnlyTheTwoStatedPreferencesCount) {
    const std::pair<uint, std::optional<bool>> cases[] = {
        {0, std::nullopt}, {1, true}, {2, false}, {3, std::nullopt}, {0xFFFFFFFFu, std::nullopt}};
    for (const auto& [value, dark] : cases) EXPECT_EQ(PortalColorScheme::fromPortalValue(value), dark) << value;
}
