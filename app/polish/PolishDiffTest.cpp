#include "polish/PolishDiff.h"

#include "TestEnvironment.h"
#include "base/Localization.h"

#include <gtest/gtest.h>

using namespace murmelo;
using PolishDiff::Edit;
using PolishDiff::Kind;

namespace {

class PolishDiffTest : public ::testing::Test {
protected:
    PolishDiffTest() { Localization::resetForTesting(QStringList{QStringLiteral("ru")}); }
    ~PolishDiffTest() override { Localization::resetForTesting(QStringList{QStringLiteral("ru")}); }
    test::TestEnvironment env;
};

}  // namespace

TEST_F(PolishDiffTest, EditsAndSummaries) {
    struct Case {
        const char* name;
        QString before, after;
        std::vector<Edit> edits;
        QString summary;
    };
    const Case cases[] = {
        {"a case edit hides the marks around it", "привет как дела", "Привет, как дела?",
         {{"привет", "Привет", Kind::caseOnly}}, "регистр: 1"},
        {"marks alone: one edit of the whole texts", "как дела", "как дела?",
         {{"как дела", "как дела?", Kind::punctuation}}, "знаки препинания"},
        {"spacing alone counts as punctuation", "да ,нет", "да, нет", {{"да ,нет", "да, нет", Kind::punctuation}},
         "знаки препинания"},
        {"ё", "еще", "ещё", {{"еще", "ещё", Kind::yo}}, "ё: 1"},
        {"ё with a capital is still ё", "еще бы", "Ещё бы", {{"еще", "Ещё", Kind::yo}}, "ё: 1"},
        {"a spelling change is a word edit, not summarised", "превет мир", "привет мир",
         {{"превет", "привет", Kind::word}}, ""},
        {"a split is one whole-text word edit", "какдела", "как дела", {{"какдела", "как дела", Kind::word}}, ""},
        {"no words on either side", "!", "?", {{"!", "?", Kind::word}}, ""},
        {"identical texts", "Да.", "Да.", {}, ""},
        {"every kind in order", "еще раз превет андрей", "Ещё раз, привет Андрей",
         {{"еще", "Ещё", Kind::yo}, {"превет", "привет", Kind::word}, {"андрей", "Андрей", Kind::caseOnly}},
         "регистр: 1 · ё: 1"},
        {"several case edits are counted", "москва и питер", "Москва и Питер",
         {{"москва", "Москва", Kind::caseOnly}, {"питер", "Питер", Kind::caseOnly}}, "регистр: 2"},
    };
    for (const Case& c : cases) {
        const auto edits = PolishDiff::compute(c.before, c.after);
        EXPECT_EQ(edits, c.edits) << c.name;
        EXPECT_EQ(PolishDiff::summary(edits), c.summary) << c.name;
    }
}

TEST_F(PolishDiffTest, SummaryOfMixedListsJoinsInFixedOrder) {
    const std::vector<Edit> edits{{"а", "ё", Kind::yo}, {"x", "y", Kind::punctuation}, {"б", "Б", Kind::caseOnly},
                                  {"в", "В", Kind::caseOnly}};
    EXPECT_EQ(PolishDiff::summary(edits), QStringLiteral("знаки препинания · регистр: 2 · ё: 1"));
}

TEST_F(PolishDiffTest, WordCount) {
    EXPECT_EQ(PolishDiff::debugWordCount(QStringLiteral("Кто-то, пришёл: 3,5 раза")), 5);
    EXPECT_EQ(PolishDiff::debugWordCount(QStringLiteral(" … ")), 0);
}
