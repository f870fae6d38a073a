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
    EXPECT_EQ(sources.currentSource()->id, "xkb:us");
    ASSERT_TRUE(sources.select("xkb:ru"));
    EXPECT_EQ(sources.currentSource()->id, "xkb:ru");
    EXPECT_TRUE(seen.empty());
    env.runPending();
    EXPECT_EQ(seen, std::vector<QString>{"xkb:ru"});
    // Selecting the current source changes nothing and announces nothing.
    ASSERT_TRUE(sources.select("xkb:ru"));
    sources.userSelects("xkb:us");
    env.runPending();
    EXPECT_EQ(seen, (std::vector<QString>{"xkb:ru", "xkb:us"}));
}

TEST_F(SimInputSourcesTest, UnknownOrRefusedSelectionsFail) {
    EXPECT_FALSE(sources.select("xkb:de"));
    sources.refuseSelection = true;
    EXPECT_FALSE(sources.select("xkb:ru"));
    env.runPending();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(sources.currentSource()->id, "xkb:us");
    EXPECT_EQ(sources.selectCalls, (QStringList{"xkb:de", "xkb:ru"}));
}

TEST_F(SimInputSourcesTest, DisablingTheCurrentSourceFallsBackToTheFirst) {
    sources.select("xkb:ru");
    sources.setEnabled({"xkb:us"});
    env.runPending();
    EXPECT_EQ(enabledChanges, 1);
    ASSERT_EQ(sources.enabledSources().size(), 1u);
    EXPECT_EQ(sources.currentSource()->id, "xkb:us");
    EXPECT_FALSE(sources.select("xkb:ru"));
}

TEST_F(SimInputSourcesTest, KeysTranslateByPosition) {
    struct Case {
        const char* source;
        int key;
        KeyLevel level;
        const char* text;
    } cases[] = {
        {"xkb:us", 0, KeyLevel::Base, "a"},      {"xkb:ru", 0, KeyLevel::Base, "ф"},
        {"xkb:ru", 0, KeyLevel::Shift, "Ф"},     {"xkb:ru", 50, KeyLevel::Base, "ё"},
        {"xkb:ru", 20, KeyLevel::Shift, "№"},    {"xkb:ru", 44, KeyLevel::Base, "."},
        {"xkb:ru", 44, KeyLevel::Shift, ","},    {"xkb:us", 39, KeyLevel::Shift, "\""},
        {"xkb:ru", 41, KeyLevel::Base, "ж"},     {"xkb:us", 49, KeyLevel::Base, " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.key));
        EXPECT_EQ(sources.translate(c.source, c.key, c.level), QString::fromUtf8(c.text));
    }
    EXPECT_FALSE(sources.translate("xkb:us", 36, KeyLevel::Base));  // Return gives no text
    EXPECT_FALSE(sources.translate("xkb:us", 0, KeyLevel::Option));
    EXPECT_FALSE(sources.translate("xkb:de", 0, KeyLevel::Base));
}
