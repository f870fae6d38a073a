#include "cleanup/LangGuess.h"

#include "TestEnvironment.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace murmelo;
using V = LangGuess::Verdict;

namespace {

// A lexicon that knows a fixed word list, installed for one test.
struct FakeLexicon {
    explicit FakeLexicon(QSet<QString> known, bool ready = true) {
        lookup.isReady = [ready] { return ready; };
        lookup.contains = [known, this](const QString& w) {
            asked << w;
            return known.contains(w);
        };
    }
    RuFormsLookup lookup;
    QStringList asked;
    ScopedService<RuFormsLookup> installed{lookup};
};

}  // namespace

TEST(LangGuessTest, VerdictsFromLettersAlone) {
    struct Case {
        const char* text;
        V verdict;
    };
    const Case cases[] = {
        {"ok", V::unknown},
        {"да", V::unknown},
        {"", V::unknown},
        {"12345 !!!", V::unknown},
        {"Hello world", V::latin},
        {"Καλημέρα κόσμε", V::other},
        {"Привет мир", V::unknown},
        {"Мы были рады", V::ru},
        {"Привіт, як справи?", V::cyrillicNotRu},
        {"Къде си", V::cyrillicNotRu},
        {"Здравей, как си? Ще дойда утре.", V::cyrillicNotRu},
        {"Открой файл README в папке docs", V::unknown},
        {"Добър ден, моля", V::cyrillicNotRu},          // "ъ" before "р"
        {"Ћирилица Србије", V::cyrillicNotRu},         // South Slavic letter
        {"объявление в подъезде", V::unknown},          // "ъ" before "я" and "е" is Russian
        {"объявление в подъезде этажом ниже", V::ru},   // ... and "э" decides
        {"Е\u0308лка", V::ru},                          // a decomposed "Ё" counts as "Ё"
    };
    for (const Case& c : cases) {
        const LangGuess::Result r = LangGuess::classify(QString::fromUtf8(c.text), false);
        EXPECT_EQ(LangGuess::rawValue(r.verdict), LangGuess::rawValue(c.verdict)) << c.text;
        EXPECT_EQ(r.ruShare, -1.0) << c.text;
    }
}

TEST(LangGuessTest, LexiconDecidesLongerCyrillicTexts) {
    test::TestEnvironment env;
    // Five Cyrillic words, none with ы, э or ё: only the lexicon can call it Russian.
    const QString text = "Привет, мир! Как дела сегодня утром";
    {
        FakeLexicon lexicon({"привет", "мир", "как", "дела"});
        const auto r = LangGuess::classify(text);
        EXPECT_EQ(r.verdict, V::ru);
        EXPECT_DOUBLE_EQ(r.ruShare, 4.0 / 6.0);
    }
    {
        FakeLexicon lexicon({"привет"});
        const auto r = LangGuess::classify(text);
        EXPECT_EQ(r.verdict, V::cyrillicNotRu);
        EXPECT_DOUBLE_EQ(r.ruShare, 1.0 / 6.0);
    }
    {
        // Between the thresholds the letters decide, and the share is still reported.
        FakeLexicon lexicon({"привет", "мир", "как"});
        const auto r = LangGuess::classify(text);
        EXPECT_EQ(r.verdict, V::unknown);
        EXPECT_DOUBLE_EQ(r.ruShare, 0.5);
    }
    {
        FakeLexicon lexicon({"привет", "мир", "как", "дела"});
        const auto r = LangGuess::classify(text, false);
        EXPECT_EQ(r.verdict, V::unknown);
        EXPECT_EQ(r.ruShare, -1.0);
        EXPECT_TRUE(lexicon.asked.isEmpty());
    }
}

TEST(LangGuessTest, LexiconIsAskedLowerCasedAndWithYoFoldedWhenTheFirstFormIsUnknown) {
    FakeLexicon lexicon({"все", "были", "рады", "нашей", "встрече"});
    const auto r = LangGuess::classify("Всё Были Рады Нашей Встрече");
    EXPECT_EQ(r.verdict, V::ru);
    EXPECT_DOUBLE_EQ(r.ruShare, 1.0);
    EXPECT_EQ(lexicon.asked, (QStringList{"всё", "все", "были", "рады", "нашей", "встрече"}));
}

TEST(LangGuessTest, WithoutAnInstalledLexiconTheLettersDecideAndTheLogSaysSo) {
    test::TestEnvironment env;
    const auto r = LangGuess::classify("Привет, мир! Как дела сегодня утром");
    EXPECT_EQ(r.verdict, V::unknown);
    EXPECT_EQ(r.ruShare, -1.0);
    LangGuess::classify("Привет, мир! Как дела сегодня утром");
    EXPECT_LE(env.logLines().filter("словарь словоформ не подключён").size(), 1);
}
