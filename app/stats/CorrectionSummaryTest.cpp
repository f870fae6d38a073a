#include "stats/MonthlyStats.h"

#include <gtest/gtest.h>

using namespace murmelo;
using Counts = MonthlyStats::CorrectionCounts;

namespace {

TEST(CorrectionSummaryTest, CountsPunctuationLetterCaseAndTypos) {
    const struct {
        const char* name;
        QString before;
        QString after;
        Counts counts;
    } cases[] = {
        {"capital letter", "hello world", "Hello world", {0, 1, 0}},
        {"misspelling", "teh cat", "the cat", {0, 0, 1}},
        {"misspelling with a capital: one pairing beats removal plus addition", "Teh", "the", {0, 1, 1}},
        {"added comma", "hello world", "hello, world", {1, 0, 0}},
        {"removed space", "a  b", "a b", {1, 0, 0}},
        {"apostrophe splits the word", "dont", "don't", {1, 0, 2}},
        {"case and mark", "Hello", "hello!", {1, 1, 0}},
        {"whole word upper-cased", "abc", "ABC", {0, 1, 0}},
        {"mark for mark", "a,b", "a;b", {1, 0, 0}},
        {"removed word", "one two", "one", {1, 0, 1}},
        {"from nothing", "", "abc", {0, 0, 1}},
        {"to nothing", "abc", "", {0, 0, 1}},
        {"word for a mark", "x", ",", {1, 0, 1}},
        {"Cyrillic sentence", QStringLiteral("Привет мир"), QStringLiteral("привет, мир"), {1, 1, 0}},
        {"equal texts", "same text", "same text", {0, 0, 0}},
        {"canonically equivalent", QStringLiteral("caf\u00e9"), QStringLiteral("cafe\u0301"), {0, 0, 0}},
        {"digits are word characters", "v2", "v3", {0, 0, 1}},
        {"line break is a mark", "a\nb", "a b", {1, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MonthlyStats::correctionSummary(c.before, c.after), c.counts) << c.name;
    }
}

TEST(CorrectionSummaryTest, WordsAreRunsOfLettersAndNumbers) {
    const struct {
        const char* name;
        QString text;
        qint64 words;
    } cases[] = {
        {"sentence", QStringLiteral("Привет, мир!"), 2},
        {"hyphen separates", "a-b", 2},
        {"lone dash", QStringLiteral("\u2014"), 0},
        {"numbers", QStringLiteral("3 кота"), 2},
        {"emoji", QStringLiteral("ok 👍🏽"), 1},
        {"combining mark stays in its word", QStringLiteral("cafe\u0301 ok"), 2},
        {"empty", "", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(MonthlyStats::wordCount(c.text), c.words) << c.name;
}

}  // namespace
