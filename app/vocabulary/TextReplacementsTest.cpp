#include "vocabulary/TextReplacements.h"

#include "TestEnvironment.h"

#include <future>
#include <gtest/gtest.h>

using namespace murmelo;
namespace TR = murmelo::TextReplacements;

namespace {

class TextReplacementsTest : public ::testing::Test {
protected:
    void SetUp() override { TR::invalidateCache(); }
    void TearDown() override { TR::invalidateCache(); }
    test::TestEnvironment env;
};

}  // namespace

TEST_F(TextReplacementsTest, ParsesLinesCommentsAndEqualSigns) {
    const QString text = "кью ар = QR\n\n  Open AI=OpenAI \n# заметка = нет\nбез знака\n = пусто\nну =\na=b=c\n\t";
    EXPECT_EQ(TR::parse(text), (QList<TR::Rule>{{"кью ар", "QR"}, {"Open AI", "OpenAI"}, {"ну", ""}, {"a", "b=c"}}));
    EXPECT_TRUE(TR::parse("# a = b\n\n").isEmpty());
}

TEST_F(TextReplacementsTest, CaseSensitivityFollowsCapitalsInFrom) {
    EXPECT_FALSE((TR::Rule{"open ai", "x"}.caseSensitive()));
    EXPECT_TRUE((TR::Rule{"Ai", "x"}.caseSensitive()));
    EXPECT_TRUE((TR::Rule{"Ёж", "x"}.caseSensitive()));
    EXPECT_FALSE((TR::Rule{"123 +", "x"}.caseSensitive()));
}

TEST_F(TextReplacementsTest, AppliesOneRuleAsWordsWithGuards) {
    const struct {
        const char* name;
        TR::Rule rule;
        QString in, out;
    } cases[] = {
        {"lower-case rule matches any case", {"ai", "AI"}, "ai Ai AI", "AI AI AI"},
        {"never inside a longer word", {"ai", "AI"}, "said AI2 ai_x", "said AI2 ai_x"},
        {"capital rule matches only its case", {"Ai", "ИИ"}, "Ai ai AI", "ИИ ai AI"},
        {"phrase with any joiner", {"open ai", "OpenAI"}, "open ai, Open AI, open,ai, open.ai, openai",
         "OpenAI, OpenAI, OpenAI, OpenAI, OpenAI"},
        {"phrase across a line break", {"open ai", "OpenAI"}, "open\nai", "OpenAI"},
        {"phrase not inside words", {"open ai", "OpenAI"}, "reopen ai open aid", "reopen ai open aid"},
        {"empty replacement deletes", {"ну", ""}, "ну вот ну", " вот "},
        {"dollar inserted literally", {"цена", "$1 \\0"}, "цена", "$1 \\0"},
        {"plus is literal", {"A+", "отлично"}, "A+ AA", "отлично AA"},
        {"Cyrillic case folding", {"ёж", "Ёжик"}, "ЁЖ ёж", "Ёжик Ёжик"},
    };
    for (const auto& c : cases) EXPECT_EQ(TR::applyOne(c.rule, c.in), c.out) << c.name;
}

TEST_F(TextReplacementsTest, RulesRunInOrderOnEachOthersOutput) {
    TR::setRaw("кью ар = QR\nQR код = QR-код");
    EXPECT_EQ(TR::apply("кью ар код"), "QR-код");
    EXPECT_TRUE(env.logContains("Замены после распознавания: правил 2"));
}

TEST_F(TextReplacementsTest, EmptyOrCommentOnlyTextChangesNothing) {
    TR::setRaw("# только заметка\n\n");
    EXPECT_TRUE(env.logContains("Замены после распознавания: правил 0"));
    EXPECT_TRUE(TR::rules().isEmpty());
    EXPECT_EQ(TR::apply("ai text"), "ai text");
}

TEST_F(TextReplacementsTest, ASavedTextTakesEffectAtOnceAndOtherWritesAfterInvalidation) {
    TR::setRaw("ai = AI");
    EXPECT_EQ(TR::apply("ai"), "AI");
    TR::setRaw("ai = ИИ");
    EXPECT_EQ(TR::apply("ai"), "ИИ");
    env.defaults().set(TR::key, QStringLiteral("ai = A.I."));
    EXPECT_EQ(TR::apply("ai"), "ИИ") << "the cached rules stay until invalidated";
    TR::invalidateCache();
    EXPECT_EQ(TR::apply("ai"), "A.I.");
}

TEST_F(TextReplacementsTest, AppliesOffTheMainThreadWhileTheTextChanges) {
    TR::setRaw("ai = AI");
    auto worker = std::async(std::launch::async, [] {
        int good = 0;
        for (int i = 0; i < 2000; ++i) {
            const QString out = TR::apply("ai");
            good += out == "AI" || out == "ИИ";
        }
        return good;
    });
    for (int i = 0; i < 200; ++i) TR::setRaw(i % 2 ? "ai = AI" : "ai = ИИ");
    EXPECT_EQ(worker.get(), 2000);
}
