#include "sim/SimInputSources.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct SimInputSourcesTest : ::testing::Test {
    test::TestEnvironment env;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    std::vector<QString> seen;
    int enabledChanges = 0;

    void SetUp() override {
        sources.setSelectionHandler([this](const InputSource& s) { seen.push_back(s.id); });
        sources.setEnabledSourcesHandler([this] { ++enabledChanges; });
    }
};

}  // namespace

TEST_F(SimInputSourcesTest, SelectionIsAnnouncedLaterOnTheMainQueue) {
    EXPECT_EQ(sources.currentSource()->id, "com.apple.keylayout.US");
    ASSERT_TRUE(sources.select("com.apple.keylayout.Russian"));
    EXPECT_EQ(sources.currentSource()->id, "com.apple.keylayout.Russian");
    EXPECT_TRUE(seen.empty());
    env.runPending();
    EXPECT_EQ(seen, std::vector<QString>{"com.apple.keylayout.Russian"});
    // Selecting the current source changes nothing and announces nothing.
    ASSERT_TRUE(sources.select("com.apple.keylayout.Russian"));
    sources.userSelects("com.apple.keylayout.US");
    env.runPending();
    EXPECT_EQ(seen, (std::vector<QString>{"com.apple.keylayout.Russian", "com.apple.keylayout.US"}));
}

TEST_F(SimInputSourcesTest, UnknownOrRefusedSelectionsFail) {
    EXPECT_FALSE(sources.select("xkb:de"));
    sources.refuseSelection = true;
    EXPECT_FALSE(sources.select("com.apple.keylayout.Russian"));
    env.runPending();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(sources.currentSource()->id, "com.apple.keylayout.US");
    EXPECT_EQ(sources.selectCalls, (QStringList{"xkb:de", "com.apple.keylayout.Russian"}));
}

TEST_F(SimInputSourcesTest, DisablingTheCurrentSourceFallsBackToTheFirst) {
    sources.select("com.apple.keylayout.Russian");
    sources.setEnabled({"com.apple.keylayout.US"});
    env.runPending();
    EXPECT_EQ(enabledChanges, 1);
    ASSERT_EQ(sources.enabledSources().size(), 1u);
    EXPECT_EQ(sources.currentSource()->id, "com.apple.keylayout.US");
    EXPECT_FALSE(sources.select("com.apple.keylayout.Russian"));
}

TEST_F(SimInputSourcesTest, KeysTranslateByPosition) {
    struct Case {
        const char* source;
        int key;
        KeyLevel level;
        const char* text;
    } cases[] = {
        {"com.apple.keylayout.US", 0, KeyLevel::Base, "a"},      {"com.apple.keylayout.Russian", 0, KeyLevel::Base, "ф"},
        {"com.apple.keylayout.Russian", 0, KeyLevel::Shift, "Ф"},     {"com.apple.keylayout.Russian", 50, KeyLevel::Base, "ё"},
        {"com.apple.keylayout.Russian", 20, KeyLevel::Shift, "№"},    {"com.apple.keylayout.Russian", 44, KeyLevel::Base, "."},
        {"com.apple.keylayout.Russian", 44, KeyLevel::Shift, ","},    {"com.apple.keylayout.US", 39, KeyLevel::Shift, "\""},
        {"com.apple.keylayout.Russian", 41, KeyLevel::Base, "ж"},     {"com.apple.keylayout.US", 49, KeyLevel::Base, " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.key));
        EXPECT_EQ(sources.translate(c.source, c.key, c.level), QString::fromUtf8(c.text));
    }
    EXPECT_FALSE(sources.translate("com.apple.keylayout.US", 36, KeyLevel::Base));  // Return gives no text
    EXPECT_FALSE(sources.translate("com.apple.keylayout.US", 0, KeyLevel::Option));
    EXPECT_FALSE(sources.translate("xkb:de", 0, KeyLevel::Base));
}
