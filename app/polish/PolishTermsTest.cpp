#include "polish/PolishKnownWords.h"
#include "polish/PolishTerms.h"

#include "TestEnvironment.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/RuForms.h"
#include "platform/SpellChecker.h"
#include "sim/SimSpellChecker.h"
#include "vocabulary/PersonalDictionary.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(bytes);
    return path;
}

class PolishTermsTest : public ::testing::Test {
protected:
    ~PolishTermsTest() override { PolishTerms::resetForTesting(); }
    void useTerms(const QByteArray& utf8) {
        PolishTerms::resetForTesting(writeFile(env.root() + QStringLiteral("/ru_terms.tsv"), utf8));
    }
    test::TestEnvironment env;
};

}  // namespace

TEST_F(PolishTermsTest, TermsStemsAndCutStems) {
    useTerms("# рабочая лексика\n"
             "\n"
             "  Виртуализация\t \n"
             "сервер\r\n"
             "бэк\n"
             "   \n"
             "#коммит\n"
             "сервер\n"
             "пул реквест\n");
    struct Case {
        const char* name;
        const char* word;
        bool known;
    };
    const Case cases[] = {
        {"a trimmed, lower-cased term", "виртуализация", true},
        {"a form that changes the last letter", "виртуализации", true},
        {"a longer word on the whole term", "виртуализационный", true},
        {"a stem of six letters covers its plural", "серверы", true},
        {"and its derivatives", "серверная", true},
        {"a three-letter term protects itself", "бэк", true},
        {"but not the words that start with it", "бэкенд", false},
        {"a comment adds nothing", "коммит", false},
        {"nor does the hash", "#коммит", false},
        {"a term with a space is one term", "пул реквест", true},
        {"an unrelated word", "виртуоз", false},
        {"the cut stem is never shorter than four", "серв", false},
    };
    for (const Case& c : cases) EXPECT_EQ(PolishTerms::knows(QString::fromUtf8(c.word)), c.known) << c.name;
    EXPECT_EQ(PolishTerms::count(), 4);
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/словарь: рабочая лексика 4 слов, основ по началу 4")));
}

TEST_F(PolishTermsTest, AMissingOrBrokenFileLeavesAnEmptyVocabulary) {
    for (const QString& path : {env.root() + QStringLiteral("/absent.tsv"),
                                writeFile(env.root() + QStringLiteral("/latin1.tsv"), "caf\xe9\n")}) {
        PolishTerms::resetForTesting(path);
        EXPECT_FALSE(PolishTerms::knows(QStringLiteral("café")));
        EXPECT_EQ(PolishTerms::count(), 0);
    }
    EXPECT_EQ(env.logText().count(QStringLiteral("polish/словарь: ru_terms.tsv не прочитан — рабочая лексика без защиты")), 2);
}

TEST_F(PolishTermsTest, TheShippedListReads) {
    PolishTerms::resetForTesting();
    EXPECT_GT(PolishTerms::count(), 0);
    EXPECT_TRUE(PolishTerms::knows(QStringLiteral("деплоить")));
}

namespace {

// The switcher's tables filled by hand: no files, no background load.
class PolishKnownWordsTest : public test::SwitcherFixture {
protected:
    PolishKnownWordsTest() : lexicons(env.root() + QStringLiteral("/models")) {
        PolishTerms::resetForTesting(writeFile(env.root() + QStringLiteral("/ru_terms.tsv"), "кубер\n"));
        RuForms::resetForTesting(QString());  // no word-form lexicon
        PersonalDictionary::invalidateCache();
        lexicons.spellLoaded = true;
        lexicons.spellLangEn = QStringLiteral("en_US");
        checker.addWords(QStringLiteral("en_US"), {QStringLiteral("hello"), QStringLiteral("Paris")});
        checker.suggestions[QStringLiteral("en_US")][QStringLiteral("paris")] = {QStringLiteral("Paris")};
        lexicons.corpusFreq.insert(QStringLiteral("мир"), 10);
        lexicons.corpusFreq.insert(QStringLiteral("елка"), 3);
        lexicons.corpusFreq.insert(QStringLiteral("как"), 900);
        lexicons.openWords.insert(QStringLiteral("открыто"));
    }
    ~PolishKnownWordsTest() override {
        PolishTerms::resetForTesting();
        RuForms::resetForTesting();
        PersonalDictionary::invalidateCache();
    }
    PolishKnownWords words() { return PolishKnownWords(*engine, lexicons); }

    sim::SimSpellChecker checker;
    ScopedService<SpellChecker> checkerScope{checker};
    LayoutLexicons lexicons;
};

}  // namespace

TEST_F(PolishKnownWordsTest, WhatPolishLeavesAsTyped) {
    engine->exceptions.insert(QStringLiteral("жопс"));
    engine->learnedNames.insert(QStringLiteral("ондрикс"));
    env.defaults().set(PersonalDictionary::KEY, QVariantList{QStringLiteral("Кодекс")});
    env.defaults().set(PolishKnownWords::POLISH_EXC_KEY, QVariantList{QStringLiteral("превед")});
    struct Case {
        const char* name;
        const char* word;
        bool protects;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"one letter", "ж", true},
        {"a digit", "2раза", true},
        {"Latin", "Hello", true},
        {"mixed script", "сoбака", true},  // Latin o
        {"corpus word, any case", "Мир", true},
        {"the open dictionary", "открыто", true},
        {"a layout exception", "жопс", true},
        {"a learned name", "ондрикс", true},
        {"a polish exception", "превед", true},
        {"the personal dictionary", "кодекс", true},
        {"a working term by its stem", "куберы", true},
        {"ё is known by its е spelling", "ёлка", true},
        {"a hyphenated word of known parts", "мир-как", true},
        {"one unknown part is not enough", "мир-првиет", false},
        {"a trailing hyphen makes no compound", "мир-", false},
        {"an unknown Cyrillic word", "првиет", false},
        {"an unknown word that only starts with a dash", "-првиет", false},
    };
    PolishKnownWords known = words();
    for (const Case& c : cases) EXPECT_EQ(known.polishProtects(QString::fromUtf8(c.word)), c.protects) << c.name;
}

TEST_F(PolishKnownWordsTest, KnownWordsForTheDictionaryOffer) {
    struct Case {
        const char* name;
        const char* word;
        bool known;
    };
    const Case cases[] = {
        {"empty is known", "", true},
        {"the seed", "GitHub", true},
        {"a corpus word", "как", true},
        {"an English word of the spell checker", "hello", true},
        {"one known only in another case", "paris", true},
        {"an unknown Latin word", "qwzx", false},
        {"an unknown Cyrillic word", "првиет", false},
        {"a digit alone is not a known word", "42", false},
    };
    PolishKnownWords known = words();
    for (const Case& c : cases) EXPECT_EQ(known.knowsWord(QString::fromUtf8(c.word)), c.known) << c.name;
}

TEST_F(PolishKnownWordsTest, RevertedEditsAreLearned) {
    PolishKnownWords known = words();
    EXPECT_FALSE(known.polishProtects(QStringLiteral("првиет")));
    EXPECT_FALSE(known.knowsWord(QStringLiteral("дрзья")));

    PolishKnownWords::polishLearnException(QStringLiteral("Првиет, я 42 дрзья"));
    EXPECT_EQ(env.defaults().listValue(PolishKnownWords::POLISH_EXC_KEY),
              (QVariantList{QStringLiteral("дрзья"), QStringLiteral("првиет")}));
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/undo: запомнил [13 симв., 2 сл.] — больше не правлю")));
    // Counts at once, with no restart.
    EXPECT_TRUE(known.polishProtects(QStringLiteral("Првиет")));
    EXPECT_TRUE(known.knowsWord(QStringLiteral("дрзья")));

    const int lines = env.logLines().size();
    PolishKnownWords::polishLearnException(QStringLiteral("првиет"));
    PolishKnownWords::polishLearnException(QStringLiteral("я, 7 и 2024"));
    EXPECT_EQ(env.logLines().size(), lines);
    EXPECT_EQ(PolishKnownWords::polishExceptions().size(), 2);
}

TEST_F(PolishKnownWordsTest, AMalformedExceptionListReadsAsEmptyAndIsReplaced) {
    env.defaults().set(PolishKnownWords::POLISH_EXC_KEY, QVariantList{QStringLiteral("слово"), 3});
    EXPECT_TRUE(PolishKnownWords::polishExceptions().isEmpty());
    env.defaults().set(PolishKnownWords::POLISH_EXC_KEY, QStringLiteral("слово"));
    EXPECT_TRUE(PolishKnownWords::polishExceptions().isEmpty());
    PolishKnownWords::polishLearnException(QStringLiteral("новое"));
    EXPECT_EQ(env.defaults().listValue(PolishKnownWords::POLISH_EXC_KEY), (QVariantList{QStringLiteral("новое")}));
}
