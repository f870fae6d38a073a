#include "linux/HunspellSpellChecker.h"

#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmelo {
namespace {

using test::writeFile;

class HunspellFixture : public ::testing::Test {
protected:
    HunspellFixture() {
        writeFile(dir.filePath(QStringLiteral("xx_TEST.aff")), "SET UTF-8\nTRY абвгдеёжзийклмнопрстуфхцчшщъыьэюяesianrtolcdugmphbyfvkwz\n");
        writeFile(dir.filePath(QStringLiteral("xx_TEST.dic")), "4\niPhone\ncat\nМосква\nкот\n");
        writeFile(dir.filePath(QStringLiteral("zz_ONLYAFF.aff")), "SET UTF-8\n");
    }
    QTemporaryDir dir;
    HunspellSpellChecker checker{{dir.path()}};
    const QString lang = QStringLiteral("xx_TEST");
};

TEST_F(HunspellFixture, LanguagesAreAffixFilesWithTheirDictionaries) {
    EXPECT_EQ(checker.availableLanguages(), QStringList{lang});
    EXPECT_FALSE(checker.accepts(QStringLiteral("cat"), QStringLiteral("zz_ONLYAFF")));
}

TEST_F(HunspellFixture, AcceptsAndCaseVariants) {
    const struct {
        const char* name;
        QString word;
        bool accepted;
        bool otherCase;
    } rows[] = {
        {"lower word", QStringLiteral("cat"), true, false},
        {"title case of a lower word", QStringLiteral("Cat"), true, false},
        {"mixed-case word in lower case", QStringLiteral("iphone"), false, true},
        {"mixed-case word as written", QStringLiteral("iPhone"), true, false},
        {"name in lower case", QStringLiteral("москва"), false, true},
        {"odd case of a lower word", QStringLiteral("cAT"), false, true},
        {"unknown", QStringLiteral("dog"), false, false},
        {"unknown capitals", QStringLiteral("DOG"), false, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(checker.accepts(r.word, lang), r.accepted) << r.name;
        EXPECT_EQ(checker.knowsInOtherCase(r.word, lang), r.otherCase) << r.name;
    }
    EXPECT_FALSE(checker.accepts(QStringLiteral("cat"), QStringLiteral("no_SUCH")));
}

TEST_F(HunspellFixture, GuessesComeBackAsText) {
    const QStringList g = checker.guesses(QStringLiteral("кт"), lang);
    EXPECT_TRUE(g.contains(QStringLiteral("кот"))) << g.join(',').toStdString();
    EXPECT_TRUE(checker.guesses(QStringLiteral("x"), QStringLiteral("no_SUCH")).isEmpty());
}

// Debian's Russian dictionary, when installed: the case rule on real data.
TEST(HunspellSystem, RussianDictionary) {
    HunspellSpellChecker checker;
    if (!checker.availableLanguages().contains(QStringLiteral("ru_RU"))) GTEST_SKIP() << "hunspell-ru not installed";
    const QString ru = QStringLiteral("ru_RU");
    EXPECT_TRUE(checker.accepts(QStringLiteral("молоко"), ru));
    EXPECT_FALSE(checker.accepts(QStringLiteral("малоко"), ru));
    EXPECT_TRUE(checker.knowsInOtherCase(QStringLiteral("москва"), ru));
    EXPECT_FALSE(checker.knowsInOtherCase(QStringLiteral("малоко"), ru));
    EXPECT_TRUE(checker.guesses(QStringLiteral("малоко"), ru).contains(QStringLiteral("молоко")));
}

}  // namespace
}  // namespace murmelo
