#include "vocabulary/TermSnap.h"

#include "platform/Service.h"
#include "vocabulary/AppVocab.h"
#include "sim/SimSpellChecker.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString SEED = "ChatGPT, Gemini, Recraft, TestFlight, Murmelo, Telegram, Linear, Figma, Veo, HTML, iOS, ARR, paywall";

// The English words of these tests.
bool english(const QString& w) {
    static const QStringList words{"telegraph", "said", "open"};
    return words.contains(w.toLower());
}

}  // namespace

TEST(TermSnapTest, PhoneticKeys) {
    const struct {
        const char* word;
        const char* key;
    } cases[] = {{"TestFlight", "TISTFLIT"}, {"Recraft", "RIKRAFT"}, {"ChatGPT", "CATKPT"}, {"Gemini", "JIMINI"},
                 {"Telegram", "TILIKRAM"},   {"Figma", "FIKMA"},     {"Linear", "LINIR"},   {"testflite", "TISTFLITI"},
                 {"jemini", "JIMINI"},       {"щука", "SUKA"},       {"объект", "APIKT"},   {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(TermSnap::phonetic(QString::fromUtf8(c.word)), c.key) << c.word;
}

TEST(TermSnapTest, EditDistanceCountsCharacters) {
    EXPECT_EQ(TermSnap::distance("", "abc"), 3);
    EXPECT_EQ(TermSnap::distance("abc", ""), 3);
    EXPECT_EQ(TermSnap::distance("kitten", "sitting"), 3);
    EXPECT_EQ(TermSnap::distance("ёж", "еж"), 1);
    EXPECT_EQ(TermSnap::distance("e\u0301", "e"), 1) << "a combined accent is one character";
}

TEST(TermSnapTest, TermsOfAVocabulary) {
    EXPECT_EQ(TermSnap::snapTerms(SEED), (QStringList{"ChatGPT", "Gemini", "Recraft", "TestFlight", "Murmelo", "Telegram"}));
    EXPECT_EQ(TermSnap::snapTerms(VOCAB_SEED), (QStringList{"ChatGPT", "Gemini", "Recraft", "TestFlight", "Murmelo", "Telegram"}));
    EXPECT_EQ(TermSnap::snapTerms("Recraft, recraft, Open AI, TestFlight."), (QStringList{"Recraft", "TestFlight"}));
    EXPECT_TRUE(TermSnap::snapTerms("только кириллица, слова").isEmpty());
    EXPECT_TRUE(TermSnap::snapTerms("Veo, HTML, iOS").isEmpty());
    EXPECT_EQ(TermSnap::snapTerms("TestFlight\nRecraft"), (QStringList{"TestFlight\nRecraft"}));
    EXPECT_EQ(TermSnap::snapTerms("Телеграм Telegram"), (QStringList{"Telegram"})) << "a Cyrillic letter ends a piece";
}

TEST(TermSnapTest, SnapsNearMissesAndLeavesTheRest) {
    const struct {
        const char* name;
        QString in, out;
        QList<TermSnap::Change> changes;
    } cases[] = {
        {"near miss", "open testflite now", "open TestFlight now", {{"testflite", "TestFlight"}}},
        {"full stop kept", "I use recraf.", "I use Recraft.", {{"recraf", "Recraft"}}},
        {"equal key is no near miss", "jemini", "jemini", {}},
        {"English word stays", "a telegraph", "a telegraph", {}},
        {"Cyrillic untouched", "тестфлайт и тестflite", "тестфлайт и тестflite", {}},
        {"short words untouched", "veo gpt", "veo gpt", {}},
        {"already the term in another case", "testflight", "testflight", {}},
        {"several in one text", "recraf and testflite", "Recraft and TestFlight",
         {{"recraf", "Recraft"}, {"testflite", "TestFlight"}}},
    };
    for (const auto& c : cases) {
        const TermSnap::Result r = TermSnap::apply(c.in, SEED, english);
        EXPECT_EQ(r.text, c.out) << c.name;
        EXPECT_EQ(r.changes, c.changes) << c.name;
    }
}

TEST(TermSnapTest, VocabulariesWithoutUsableTermsChangeNothing) {
    for (const QString vocab : {"", "кириллица, только", "Veo, HTML", "Open AI", "TestFlight\nRecraft"}) {
        const TermSnap::Result r = TermSnap::apply("testflite recraf", vocab, english);
        EXPECT_EQ(r.text, "testflite recraf") << vocab.toStdString();
        EXPECT_TRUE(r.changes.isEmpty());
    }
}

TEST(TermSnapTest, EqualDistancesGoToTheEarlierTerm) {
    // TISTFLITI is one edit from both TISTFLIT and TISTFLITIS.
    EXPECT_EQ(TermSnap::apply("testflite", "TestFlites, TestFlight", english).text, "TestFlites");
    EXPECT_EQ(TermSnap::apply("testflite", "TestFlight, TestFlites", english).text, "TestFlight");
}

TEST(TermSnapTest, TheEnglishCheckAsksTheSpellCheckerOncePerWord) {
    sim::SimSpellChecker speller;
    ScopedService<SpellChecker> scope(speller);
    speller.languages = {"ru_RU", "en_GB", "en_US"};
    speller.addWords("en_US", {"telegraph"});
    EXPECT_TRUE(TermSnap::isEnglishWord("telegraph"));
    EXPECT_FALSE(TermSnap::isEnglishWord("testflite"));
    const TermSnap::Result r = TermSnap::apply("telegraph testflite", SEED);
    EXPECT_EQ(r.text, "telegraph TestFlight");
    const int asked = speller.checks();
    TermSnap::apply("telegraph testflite", SEED);
    EXPECT_EQ(speller.checks(), asked) << "answers are kept per word";
}
