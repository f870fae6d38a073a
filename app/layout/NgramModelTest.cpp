#include "layout/NgramModel.h"

#include "TestEnvironment.h"
#include "base/DevPaths.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// Alphabet "ab", boundary ^. Scoring "ab" reads a after ^^, b after ^a, ^ after ab and ^
// after b^.
const char* kModel = R"({
  "order": 3, "boundary": "^x", "alphabet": "ab", "extra": true,
  "logprob": {
    "^^": {"a": -1, "bz": -2, "": -7, "^": "no"},
    "^a": {"b": -0.5},
    "ab": {"^": -0.25},
    "b^": {"^": -0.1}
  },
  "unseen_logprob": {"^a": -3, "^b": -4, "ab": "no"},
  "default_unseen_logprob": -10
})";

struct NgramModelTest : ::testing::Test {
    test::TestEnvironment env;

    QString write(const QByteArray& json) {
        const QString path = env.root() + "/model.json";
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(json);
        return path;
    }
    NgramModel model() {
        auto m = NgramModel::load(write(kModel));
        EXPECT_TRUE(m);
        return *m;
    }
};

}  // namespace

TEST_F(NgramModelTest, ScoresTheMeanLogProbabilityOfThePaddedWord) {
    const NgramModel m = model();
    struct Case {
        const char* name;
        const char* word;
        std::optional<double> score;
    } cases[] = {
        {"every prediction listed", "ab", (-1 - 0.5 - 0.25 - 0.1) / 4},
        {"upper case reads as lower", "AB", (-1 - 0.5 - 0.25 - 0.1) / 4},
        {"outer characters outside the alphabet are trimmed", "-ab!", (-1 - 0.5 - 0.25 - 0.1) / 4},
        // ^^a, then a blank after ^a (listed context: its unseen value), b after "a " and ^
        // after " b" (absent contexts: the default), ^ after b^.
        {"inner character scored as a blank", "a-b", (-1 - 3 - 10 - 10 - 0.1) / 5},
        // ^b is absent from logprob: the default, even though unseen lists it.
        {"absent context ignores its unseen value", "ba", (-2 - 10 - 10 - 10) / 4},
        {"inner key counts under its first character", "b", (-2 - 10 - 0.1) / 3},
        // a after ab: ab's unseen value is no number, so the default.
        {"unseen value that is no number is skipped", "aba", (-1 - 0.5 - 10 - 10 - 10) / 5},
        {"nothing in the alphabet", "12", std::nullopt},
        {"other script", "аб", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = m.score(QString::fromUtf8(c.word));
        if (c.score) {
            ASSERT_TRUE(got);
            EXPECT_DOUBLE_EQ(*got, *c.score);
        } else {
            EXPECT_FALSE(got);
        }
    }
}

TEST_F(NgramModelTest, LoadKeepsWhatFitsAndDropsTheRest) {
    const NgramModel m = model();
    EXPECT_EQ(m.order(), 3);
    EXPECT_EQ(m.boundary(), U'^');
    EXPECT_EQ(m.alphabet(), (QSet<char32_t>{U'a', U'b'}));
    EXPECT_EQ(m.defaultUnseen(), -10);
}

// Alphabet text of n distinct characters beyond Latin and Cyrillic.
QByteArray alphabetOf(int n) {
    QString letters;
    for (int i = 0; i < n; ++i) letters += QChar(0x4E00 + i);
    return letters.toUtf8();
}

TEST_F(NgramModelTest, MalformedFilesLoadAsNothingWithTheReason) {
    const QByteArray good = kModel;
    struct Case {
        const char* name;
        QByteArray json;
        const char* why;
    } cases[] = {
        {"empty boundary", QByteArray(good).replace(R"("^x")", R"("")"), "нет поля \"boundary\""},
        {"no default", QByteArray(good).replace(R"("default_unseen_logprob")", R"("other")"),
         "нет поля \"default_unseen_logprob\""},
        {"no alphabet", QByteArray(good).replace(R"("alphabet")", R"("letters")"), "нет поля \"alphabet\""},
        {"order 2", QByteArray(good).replace(R"("order": 3)", R"("order": 2)"), "порядок не 3"},
        {"order 4", QByteArray(good).replace(R"("order": 3)", R"("order": 4)"), "порядок не 3"},
        {"order not integral", QByteArray(good).replace(R"("order": 3)", R"("order": 3.5)"), "нет поля \"order\""},
        {"order as text", QByteArray(good).replace(R"("order": 3)", R"("order": "3")"), "нет поля \"order\""},
        {"alphabet not text", QByteArray(good).replace(R"("alphabet": "ab")", R"("alphabet": ["a"])"),
         "нет поля \"alphabet\""},
        {"context not an object", QByteArray(good).replace(R"({"b": -0.5})", "-0.5"), "нет поля \"logprob\""},
        {"unseen not an object", QByteArray(good).replace(R"("unseen_logprob": {)", R"("unseen_logprob": 1, "x": {)"),
         "нет поля \"unseen_logprob\""},
        {"alphabet beyond the limit", QByteArray(good).replace(R"("alphabet": "ab")", "\"alphabet\": \"ab" + alphabetOf(255) + '"'),
         "алфавит в 257 символов, больше 256"},
        {"not JSON", "{\"order\": 3,", "не JSON: "},
        {"not an object", "[1, 2]", "не JSON-объект"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.json, good);
        QString why;
        EXPECT_FALSE(NgramModel::load(write(c.json), &why));
        EXPECT_TRUE(why.startsWith(QString::fromUtf8(c.why))) << why.toStdString();
    }
    QString why;
    EXPECT_FALSE(NgramModel::load(env.root() + "/missing.json", &why));
    EXPECT_TRUE(why.startsWith("не открыть: ")) << why.toStdString();
    EXPECT_TRUE(NgramModel::load(write(QByteArray(good).replace(R"("order": 3)", R"("order": 3.0)"))));
    // The limit itself still loads.
    EXPECT_TRUE(NgramModel::load(write(QByteArray(good).replace(R"("alphabet": "ab")", "\"alphabet\": \"ab" + alphabetOf(254) + '"'))));
}

TEST_F(NgramModelTest, AModelOfAnotherOrderScoresNothing) {
    const NgramModel m(2, U'^', {U'a'}, {}, {}, -1);
    EXPECT_FALSE(m.score("a"));
}

// The shipped models tell a word from its reading on the other layout.
TEST(NgramModelFilesTest, TheShippedModelsPreferRealWords) {
    const QString dir = murmeloSourceRoot() + "/resources/layout-models/";
    const auto en = NgramModel::load(dir + "en.json");
    const auto ru = NgramModel::load(dir + "ru.json");
    ASSERT_TRUE(en && ru);
    EXPECT_GT(*en->score("hello"), *en->score("ghbdtn"));
    EXPECT_GT(*ru->score("привет"), *ru->score("руддщ"));
    EXPECT_GT(*ru->score("Привет"), *en->score("Ghbdtn"));
    EXPECT_EQ(ru->score("ПРИВЕТ"), ru->score("привет"));
    EXPECT_FALSE(en->score("привет"));
}
