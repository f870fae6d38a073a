#include "polish/PolishResult.h"

#include "TestEnvironment.h"
#include "polish/PolishTestSupport.h"

#include <gtest/gtest.h>

using namespace murmelo;

TEST(PolishResultTest, SentenceStarts) {
    const struct {
        const char* name;
        QString text;
        qint64 at;
        bool starts;
    } cases[] = {
        {"start of the text", "привет", 0, true},
        {"beyond the end answers as the end", "Итак.", 99, true},
        {"after a full stop and two spaces", "Итак.  ", 7, true},
        {"after a comma and a tab", "да,\t", 4, false},
        {"after a line break and spaces", "да\n  ", 5, true},
        {"after an ellipsis", "ну…", 3, true},
        {"after a word", "привет мир", 7, false},
        {"after half of a surrogate pair", QStringLiteral("😀 "), 3, false},
    };
    for (const auto& c : cases) EXPECT_EQ(polishStartsSentence(c.text, c.at), c.starts) << c.name;
}

TEST(PolishResultTest, CapitalsInMidSentenceGoBackToTheAuthors) {
    const struct {
        const char* name;
        QString author, fixed, want;
    } cases[] = {
        {"after a comma", "да, конечно", "Да, Конечно", "Да, конечно"},
        {"after a full stop the capital stays", "а-б в", "А-Б. В", "А-Б. В"},
        {"after a line break the capital stays", "да\nнет", "Да\nНет", "Да\nНет"},
        {"different word counts leave it alone", "приветмир", "Привет, Мир", "Привет, Мир"},
        {"the author's own capital stays", "да, Москва", "Да, Москва", "Да, Москва"},
    };
    for (const auto& c : cases) EXPECT_EQ(keepingCaseAfterComma(c.author, c.fixed), c.want) << c.name;
}

TEST(PolishResultTest, TheMergedAnswerKeepsTheChunksSpacesAndCase) {
    test::TestEnvironment env;
    test::ProtectedWords known;
    // A chunk that continues a sentence does not get a capital; its spaces come back around it.
    const PolishResultValue r = polishResult(QStringLiteral("  привет мир"), QStringLiteral("Привет, мир."), known, true, false, true);
    EXPECT_TRUE(r.applied);
    EXPECT_EQ(r.text, QStringLiteral("  привет, мир."));
    // The person's chunk ends open: the full stop the model appended goes.
    EXPECT_EQ(polishForField(QStringLiteral("  привет мир"), QStringLiteral("Привет, мир."), {true, false, true}, known).text,
              QStringLiteral("  привет, мир"));

    // At a sentence start the capital stays.
    EXPECT_EQ(polishForField(QStringLiteral("привет как дела"), QStringLiteral("Привет, как дела"), {true, true, true}, known).text,
              QStringLiteral("Привет, как дела"));

    // Only white space: nothing to merge.
    const PolishResultValue blank = polishResult(QStringLiteral("   "), QStringLiteral("."), known, true, true, true);
    EXPECT_FALSE(blank.applied);
    EXPECT_EQ(blank.text, QStringLiteral("   "));

    // Other words from the model are refused and the typed words stay.
    const PolishResultValue words = polishForField(QStringLiteral("я пришол домой"), QStringLiteral("Я пришёл домой."), {true, true, true}, known);
    EXPECT_EQ(words.text.contains(QStringLiteral("пришол")), true);
    EXPECT_FALSE(words.trusted);
}

// With the trust setting on, the model may respell the words polish does not protect.
TEST(PolishResultTest, ATrustedModelRespellsOnlyUnprotectedWords) {
    test::TestEnvironment env;
    env.defaults().set("polishTrustModel", true);
    test::ProtectedWords words;
    words.protects = [](const QString& word) { return word == QStringLiteral("Вася"); };
    const PolishResultValue r =
        polishForField(QStringLiteral("я пришол к Вася"), QStringLiteral("Я пришёл к Васе."), {true, true, true}, words);
    EXPECT_TRUE(r.trusted);
    EXPECT_EQ(r.text, QStringLiteral("Я пришёл к Вася"));
    EXPECT_EQ(r.rejectedWords, 1);
    EXPECT_TRUE(env.logContains("polish: словарь защитил 1 слов человека"));
}

TEST(PolishResultTest, TheContextComesFromWhereTheChunkStands) {
    test::TestEnvironment env;
    const QString text = QStringLiteral("Итак. дальше, пишем");
    EXPECT_TRUE(polishContext(QStringLiteral("дальше"), text, 6).atSentenceStart);
    EXPECT_FALSE(polishContext(QStringLiteral("пишем"), text, 14).atSentenceStart);
    EXPECT_TRUE(polishContext(QStringLiteral("пишем"), text, 14).typedByHand);
    EXPECT_FALSE(polishContext(QStringLiteral("hello world"), text, 0).allowYo) << "Latin text gets no ё";
}
