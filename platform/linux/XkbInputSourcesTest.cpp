#include "linux/XkbInputSources.h"

#include "DesktopHarness.h"
#include "sim/SimInputSources.h"

#include <X11/XKBlib.h>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

// The test desktop is configured with "us,ru": the two layouts the core knows by these ids.
const QString kUS = QStringLiteral("com.apple.keylayout.US");
const QString kRussian = QStringLiteral("com.apple.keylayout.Russian");
// Generous: a loaded machine may take seconds to deliver a notification; a pass costs nothing.
constexpr double kPatience = 30.0;

struct DesktopInputSources : ::testing::Test {
    std::unique_ptr<XkbInputSources> sources;
    std::vector<QString> seen;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        sources = std::make_unique<XkbInputSources>();
        ASSERT_TRUE(sources->isConnected());
        sources->setSelectionHandler([this](const InputSource& s) { seen.push_back(s.id); });
    }
    void TearDown() override {
        if (sources && sources->currentSource() && sources->currentSource()->id != kUS) {
            sources->select(kUS);
            test::waitUntil([&] { return sources->currentSource()->id == kUS; }, kPatience);
        }
    }
};

}  // namespace

TEST_F(DesktopInputSources, TheConfiguredLayoutsAreTheSources) {
    const std::vector<InputSource> expected{{kUS, "English (US)"}, {kRussian, "Russian"}};
    EXPECT_EQ(sources->enabledSources(), expected);
    ASSERT_TRUE(sources->currentSource());
    EXPECT_EQ(sources->currentSource()->id, kUS);
}

TEST_F(DesktopInputSources, OwnSelectionIsSeenAndReadBack) {
    ASSERT_TRUE(sources->select(kRussian));
    ASSERT_TRUE(test::waitUntil([&] { return !seen.empty(); }, kPatience));
    EXPECT_EQ(seen, std::vector<QString>{kRussian});
    EXPECT_EQ(sources->currentSource()->id, kRussian);
    EXPECT_FALSE(sources->select("xkb:de"));
}

TEST_F(DesktopInputSources, AnotherClientsGroupSwitchIsSeen) {
    // Another X client locks the Russian group, as a desktop's layout switcher would.
    Display* other = XkbOpenDisplay(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    XkbLockGroup(other, XkbUseCoreKbd, 1);
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return !seen.empty(); }, kPatience));
    EXPECT_EQ(seen.back(), kRussian);
    EXPECT_EQ(sources->currentSource()->id, kRussian);
    XkbLockGroup(other, XkbUseCoreKbd, 0);
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return seen.back() == kUS; }, kPatience));
    XCloseDisplay(other);
}

// The server's own layouts must give, key by key, what the simulated keyboard gives:
// checks the key table's positions and the simulated tables together.
TEST_F(DesktopInputSources, KeysTranslateAsTheSimulatedLayouts) {
    for (const auto& layout : {sim::SimInputSources::usLayout(), sim::SimInputSources::russianLayout()}) {
        for (int level : {0, 1}) {
            for (auto it = layout.levels[level].begin(); it != layout.levels[level].end(); ++it) {
                SCOPED_TRACE(layout.source.id.toStdString() + " key " + std::to_string(it.key()));
                EXPECT_EQ(sources->translate(layout.source.id, it.key(), static_cast<KeyLevel>(level)), it.value());
            }
        }
    }
    EXPECT_FALSE(sources->translate(kUS, 36, KeyLevel::Base));  // Return
    EXPECT_FALSE(sources->translate("xkb:de", 0, KeyLevel::Base));
    EXPECT_FALSE(sources->isDeadKey(kUS, 0, false));
}
