#include "layout/WordChecks.h"

#include "TestEnvironment.h"
#include "platform/SpellChecker.h"
#include "sim/SimSpellChecker.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

const QString ru = QStringLiteral("ru");
const QString en = QStringLiteral("en");

class WordChecksTest : public ::testing::Test {
protected:
    WordChecksTest() {
        checker.addWords(QStringLiteral("en_US"), {QStringLiteral("iPhone"), QStringLiteral("cat"), QStringLiteral("vs"), QStringLiteral("ghbdtn")});
        checker.suggestions[QStringLiteral("en_US")][QStringLiteral("iphone")] = {QStringLiteral("iPhones"), QStringLiteral("iPhone")};
        checker.addWords(QStringLiteral("ru_RU"), {QStringLiteral("да"), QStringLiteral("шкаф")});
        // Loaded by hand: the checks read the tables as the load leaves them.
        lex.spellLoaded = true;
        lex.spellLang = QStringLiteral("ru_RU");
        lex.spellLangEn = QStringLiteral("en_US");
        lex.corpusFreq = {{QStringLiteral("ноль"), 0}, {QStringLiteral("привет"), 900}, {QStringLiteral("пока"), 899},
                          {QStringLiteral("прив"), 3}, {QStringLiteral("кото"), 2}};
        lex.openWords = {QStringLiteral("открыто"), QStringLiteral("ох")};
        lex.livePrefixes.insert(QStringLiteral("при"));
    }

    test::TestEnvironment env;
    sim::SimSpellChecker checker;
    ScopedService<SpellChecker> checkerScope{checker};
    LayoutLexicons lex{env.root(), LayoutSwitcherRules{}};
    WordChecks checks{lex};
};

TEST_F(WordChecksTest, RussianTablesAnswerBeforeTheSpellChecker) {
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("ноль"), ru), true);
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("открыто"), ru), true);
    EXPECT_EQ(checker.checks(), 0);
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("шкаф"), ru), true);
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("шкафф"), ru), false);
    EXPECT_EQ(checker.checks(), 2);
}

TEST_F(WordChecksTest, UnknownLayoutOrLanguageGivesNoAnswer) {
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("Haus"), QStringLiteral("de")), std::nullopt);
    EXPECT_FALSE(checks.knowsOnlyAsCaseVariant(QStringLiteral("Haus"), QStringLiteral("de")));
    lex.spellLangEn.reset();
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("cat"), en), std::nullopt);
    EXPECT_FALSE(checks.knowsOnlyAsCaseVariant(QStringLiteral("iphone"), en));
}

TEST_F(WordChecksTest, CaseVariants) {
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("iphone"), en, true), true);
    EXPECT_EQ(checks.isRealWordInLayout(QStringLiteral("iphone"), en, false), false);
    EXPECT_TRUE(checks.knowsOnlyAsCaseVariant(QStringLiteral("iphone"), en));
    EXPECT_FALSE(checks.knowsOnlyAsCaseVariant(QStringLiteral("iPhone"), en));
    EXPECT_EQ(checker.guessCalls(), 1);  // cached per language and word
    EXPECT_EQ(checks.caseVariantCache.value(QStringLiteral("en_US:iphone")), true);
}

TEST_F(WordChecksTest, CaseVariantCacheEmptiesPastItsLimit) {
    for (int i = 0; i < 4001; ++i) checks.knowsAsCaseVariant(QStringLiteral("w%1").arg(i), QStringLiteral("en_US"));
    EXPECT_EQ(checks.caseVariantCache.size(), 4001);
    checks.knowsAsCaseVariant(QStringLiteral("next"), QStringLiteral("en_US"));
    EXPECT_EQ(checks.caseVariantCache.size(), 1);
}

TEST_F(WordChecksTest, ShortRussianWordsOnlyFromTheTables) {
    EXPECT_EQ(checks.isRealShortWordCurated(QStringLiteral("да"), ru), false);
    EXPECT_EQ(checks.isRealShortWordCurated(QStringLiteral("ох"), ru), true);
    EXPECT_EQ(checker.checks(), 0);
    LayoutSwitcherRules off;
    off.ruleShortRuCurated = false;
    lex.rules = off;
    EXPECT_EQ(checks.isRealShortWordCurated(QStringLiteral("да"), ru), true);
}

TEST_F(WordChecksTest, ShortWordsBeforeAnyLoadAnswerFalseAndLoadNothing) {
    LayoutLexicons unloaded(env.root(), LayoutSwitcherRules{});
    WordChecks fresh(unloaded);
    EXPECT_EQ(fresh.isRealShortWordCurated(QStringLiteral("да"), ru), false);
    EXPECT_FALSE(unloaded.spellLoaded);
}

TEST_F(WordChecksTest, OneLetterWords) {
    EXPECT_TRUE(checks.isOneLetterWord(QStringLiteral("В"), ru));
    EXPECT_TRUE(checks.isOneLetterWord(QStringLiteral("I"), en));
    EXPECT_FALSE(checks.isOneLetterWord(QStringLiteral("b"), en));
    EXPECT_FALSE(checks.isOneLetterWord(QStringLiteral("в"), QStringLiteral("de")));
}

TEST_F(WordChecksTest, TwinFrequency) {
    const BestReading toRu{ru, QStringLiteral("Привет"), 1.0};
    const struct {
        const char* name;
        QString word;
        QString layout;
        BestReading best;
        bool wins;
    } rows[] = {
        {"frequent reading of a real word", QStringLiteral("cat"), en, toRu, true},
        {"twin word stays", QStringLiteral("VS"), en, toRu, false},
        {"one letter", QStringLiteral("a"), en, toRu, false},
        {"digit", QStringLiteral("ca7"), en, toRu, false},
        {"hyphen", QStringLiteral("c-t"), en, toRu, false},
        {"best is not ru", QStringLiteral("cat"), en, {en, QStringLiteral("привет"), 1.0}, false},
        {"typed on ru", QStringLiteral("cat"), ru, toRu, false},
        {"not an English word", QStringLiteral("xqz"), en, toRu, false},
        {"899 is below the floor", QStringLiteral("cat"), en, {ru, QStringLiteral("пока"), 1.0}, false},
    };
    for (const auto& r : rows) EXPECT_EQ(checks.twinFrequencyWins(r.word, r.layout, r.best), r.wins) << r.name;
    LayoutSwitcherRules off;
    off.ruleTwinFrequency = false;
    lex.rules = off;
    EXPECT_FALSE(checks.twinFrequencyWins(QStringLiteral("cat"), en, toRu));
}

TEST_F(WordChecksTest, LivePrefixVeto) {
    EXPECT_TRUE(checks.livePrefixVeto(QStringLiteral("ПРИ"), ru));
    EXPECT_FALSE(checks.livePrefixVeto(QStringLiteral("при"), en));
    lex.livePrefixes.insert(QStringLiteral("приветики"));
    EXPECT_FALSE(checks.livePrefixVeto(QStringLiteral("приветики"), ru));
}

TEST_F(WordChecksTest, LiveStemVeto) {
    EXPECT_FALSE(checks.liveStemVeto(QStringLiteral("прив"), ru));    // 4 letters: no proper stem of 4
    EXPECT_TRUE(checks.liveStemVeto(QStringLiteral("Привет"), ru));   // stem прив has 3
    EXPECT_FALSE(checks.liveStemVeto(QStringLiteral("котовый"), ru));  // кото has only 2
    EXPECT_FALSE(checks.liveStemVeto(QStringLiteral("привет"), en));
    lex.corpusFreq.insert(QStringLiteral("прив"), 2);
    lex.corpusFreq.insert(QStringLiteral("приве"), 3);
    lex.corpusFreq.insert(QStringLiteral("привет"), 3);
    EXPECT_TRUE(checks.liveStemVeto(QStringLiteral("приветы"), ru));   // only its stems of 6, 5, 4
    EXPECT_FALSE(checks.liveStemVeto(QStringLiteral("пирожок"), ru));
}

}  // namespace
}  // namespace murmelo
