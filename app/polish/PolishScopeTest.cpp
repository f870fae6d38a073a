#include "polish/PolishScope.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;
using Split = PolishScope::Split;
using Mode = PolishScopeMode;

TEST(PolishScopeTest, LastSentence) {
    struct Case {
        const char* name;
        QString text;
        Split split;
    };
    const Case cases[] = {
        {"an open last sentence", "Привет. Как дела", {"Привет. ", "Как дела"}},
        {"a closed one keeps its ender and space", "Привет. Как дела. ", {"Привет. ", "Как дела. "}},
        {"no ender: all of it", "Привет", {"", "Привет"}},
        {"the only ender at the end: one sentence", "Привет!\n", {"", "Привет!\n"}},
        {"a closer belongs to the sentence before", "Он сказал: «Стоп!» Потом ушёл", {"Он сказал: «Стоп!» ", "Потом ушёл"}},
        {"runs of enders and an ellipsis", "Что?!… Да", {"Что?!… ", "Да"}},
        {"a CR LF pair is not skipped", "Да.\r\nНет", {"Да.", "\r\nНет"}},
        {"empty", "", {"", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(PolishScope::splitLastSentence(c.text), c.split) << c.name;
}

TEST(PolishScopeTest, SelectionUpToTheCeilingIsSentWhole) {
    test::TestEnvironment env;
    PolishScope scope;
    scope.lastPolishParagraphID = PolishParagraphIdentity{1, 2, 3};
    EXPECT_EQ(scope.scope("а. б", true, std::nullopt, Mode::lastSentenceIncremental), (Split{"", "а. б"}));
    EXPECT_FALSE(scope.lastPolishParagraphID);
    const QString big = QString(3997, QLatin1Char('x')) + ". да";  // 4001 characters
    EXPECT_EQ(scope.scope(big, true, std::nullopt, Mode::lastSentenceIncremental),
              (Split{QString(3997, QLatin1Char('x')) + ". ", "да"}));
    EXPECT_TRUE(env.logContains("polish: выделение 4001 симв. — больше потолка 4000, чиню последнее предложение"));
}

TEST(PolishScopeTest, SentenceModeContinuesAfterTheBoundaryUnlessAskedAgain) {
    test::TestEnvironment env;
    PolishScope scope;
    scope.lastPolishOutput = "Привет, как дела?";
    EXPECT_EQ(scope.scope("Привет, как дела? Я тут", false, std::nullopt, Mode::lastSentenceIncremental),
              (Split{"Привет, как дела?", " Я тут"}));
    // Nothing new after the boundary: the last sentence.
    EXPECT_EQ(scope.scope("Привет, как дела?  ", false, std::nullopt, Mode::lastSentenceIncremental),
              (Split{"", "Привет, как дела?  "}));
    // The same text within 3 s forgets the boundary; after 3 s it is no repeat.
    scope.lastPolishOutput = "Раз.";
    EXPECT_EQ(scope.scope("Раз. Два", false, std::nullopt, Mode::lastSentenceIncremental), (Split{"Раз.", " Два"}));
    env.advance(2.9);
    EXPECT_EQ(scope.scope("Раз. Два", false, std::nullopt, Mode::lastSentenceIncremental), (Split{"Раз. ", "Два"}));
    EXPECT_TRUE(scope.lastPolishOutput.isEmpty());
    scope.lastPolishOutput = "Раз.";
    env.advance(3.0);
    EXPECT_EQ(scope.scope("Раз. Два", false, std::nullopt, Mode::lastSentenceIncremental), (Split{"Раз.", " Два"}));
}

TEST(PolishScopeTest, ParagraphModeKeepsItsBoundaryPerParagraph) {
    test::TestEnvironment env;
    PolishScope scope;
    const PolishParagraphIdentity first{10, 77, 0};
    const PolishParagraphIdentity second{10, 77, 40};
    EXPECT_EQ(scope.scope("Раз два", false, first, Mode::currentParagraphUnpolished), (Split{"", "Раз два"}));
    scope.lastPolishOutput = "Раз, два.";
    EXPECT_EQ(scope.scope("Раз, два. Три", false, first, Mode::currentParagraphUnpolished),
              (Split{"Раз, два.", " Три"}));
    EXPECT_EQ(scope.scope("Раз, два.  ", false, first, Mode::currentParagraphUnpolished), (Split{"Раз, два.  ", ""}));
    // Another paragraph clears the boundary even when the texts start alike.
    EXPECT_EQ(scope.scope("Раз, два. Три", false, second, Mode::currentParagraphUnpolished),
              (Split{"", "Раз, два. Три"}));
    EXPECT_TRUE(scope.lastPolishOutput.isEmpty());
    EXPECT_EQ(scope.lastPolishParagraphID, second);

    const QString big = QString(4000, QLatin1Char('x')) + ". да";
    EXPECT_EQ(scope.scope(big, false, second, Mode::currentParagraphUnpolished).toCorrect, QStringLiteral("да"));
    EXPECT_TRUE(env.logContains("polish: paragraph 4004 chars exceeds 4000; polishing the last sentence"));
}
