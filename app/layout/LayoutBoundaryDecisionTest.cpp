#include "layout/LayoutDecisionTestSupport.h"

using namespace murmelo;
using murmelo::test::DecisionFixture;
using BufStart = LayoutSwitcher::BufStart;

namespace {

struct BoundaryDecision : DecisionFixture {
    void SetUp() override {
        DecisionFixture::SetUp();
        knows("ru_RU", {"привет", "как", "дела", "журнал", "и"});
        knows("en_US", {"hello", "world", "help", "the"});
        corpus({"привет", "как", "дела", "и", "журнал"});
    }
};

TEST_F(BoundaryDecision, WrongLayoutWordsConvertAndRightOnesStay) {
    struct Case {
        const char* name;
        QString word;
        QString to;  // empty: stays
        QString layout;
    };
    const Case cases[] = {
        {"Russian typed on US", "ghbdtn", "привет", "ru"},
        {"English typed on Russian", "руддщ", "hello", "en"},
        {"capital and comma after a consonant", "Ghbdtn,", "Привет,", "ru"},
        {"question mark stays a question mark", "ltkf?", "дела?", "ru"},
        {"quotes around stay as typed", "\"ghbdtn\"", "\"привет\"", "ru"},
        {"known command typed on Russian", "сгкд", "curl", "en"},
        {"one Russian letter-word typed on US", "d", "в", "ru"},
        {"Russian typed right", "привет", "", ""},
        {"English typed right", "hello", "", ""},
        {"English one-letter word", "a", "", ""},
        {"one letter in brackets", "(d)", "", ""},
        {"command flag", "-rf", "", ""},
        {"assignment", "a=b", "", ""},
        {"digits in an English-typed word", "ghb1", "", ""},
        {"protected product name", "github", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        corrections.clear();
        engine->recentLang.reset();
        engine->setPrevWord(QString());
        const bool applied = consider(c.word);
        EXPECT_EQ(applied, !c.to.isEmpty());
        EXPECT_EQ(lastTo(), c.to);
        if (!c.to.isEmpty()) {
            EXPECT_EQ(corrections.last().layout, c.layout);
        }
    }
}

// "-Привет" at the start of a line is a dash and a word, not a command flag typed on the
// wrong layout: only a rest that is no corpus word is a flag, whatever the context.
TEST_F(BoundaryDecision, HyphenFlagNeedsARestThatIsNoWord) {
    EXPECT_FALSE(consider("-Привет"));
    EXPECT_TRUE(corrections.isEmpty());

    EXPECT_TRUE(consider("-рудз"));
    EXPECT_EQ(lastTo(), "-help");
    EXPECT_EQ(corrections.last().layout, "en");
}

// A word of its own layout is never flipped into a known word of the other one: "тд" typed
// on Russian would read "nl", a known command.
TEST_F(BoundaryDecision, DictionaryFlipSparesWordsOfTheTypedLayout) {
    EXPECT_FALSE(consider("и"));
    EXPECT_FALSE(consider("тд"));
    EXPECT_TRUE(corrections.isEmpty());
    EXPECT_EQ(engine->prevWord(), "тд");
}

TEST_F(BoundaryDecision, ModelOnlyEvidenceNeedsACleanWordThatIsNotALineEnd) {
    // "приветики" is in no word list: only the model speaks for it.
    EXPECT_TRUE(consider("ghbdtnbrb"));
    EXPECT_FALSE(corrections.last().nativeOK);

    corrections.clear();
    EXPECT_FALSE(consider("ghbdtnbrb", BufStart::clean, true));
    EXPECT_FALSE(consider("ghbdtnbrb", BufStart::click));
    EXPECT_TRUE(corrections.isEmpty());
    EXPECT_TRUE(vetoes.contains("keep·enter"));
    EXPECT_TRUE(vetoes.contains("keep·правка"));

    // A dictionary word is converted even then, with the source following.
    EXPECT_TRUE(consider("ghbdtn", BufStart::click, true));
    EXPECT_TRUE(corrections.last().nativeOK);
}

TEST_F(BoundaryDecision, ShortWordWithoutDictionaryEvidenceStays) {
    EXPECT_FALSE(consider("ns"));  // "ты", in no word list here
    EXPECT_TRUE(vetoes.contains("keep·коротко"));
}

TEST_F(BoundaryDecision, UndoneWordAndVetoedWordStay) {
    engine->undoneWordPrefix = "ghb";
    EXPECT_FALSE(consider("ghbdtn"));
    EXPECT_TRUE(env.logContains("— откат в этом слове, границу пропускаем"));
    EXPECT_FALSE(engine->undoneWordPrefix);
    EXPECT_EQ(engine->recentLang, "en");
    EXPECT_TRUE(consider("ghbdtn"));  // the prefix counts for one boundary only

    LayoutDisagreement memory(*engine);
    memory.noteDisagreement("ghbdtn", "откат", QUuid::createUuid());
    memory.noteDisagreement("ghbdtn", "откат", QUuid::createUuid());
    corrections.clear();
    EXPECT_FALSE(consider("ghbdtn,"));
    EXPECT_TRUE(corrections.isEmpty());
    EXPECT_TRUE(vetoes.contains("вето·несогласия"));
}

TEST_F(BoundaryDecision, KeptWordsSetTheContext) {
    EXPECT_FALSE(consider("hello"));
    EXPECT_EQ(engine->recentLang, "en");
    EXPECT_EQ(engine->prevWord(), "hello");
    EXPECT_FALSE(consider("World"));
    EXPECT_EQ(engine->prevWord(), "world");
    EXPECT_EQ(engine->prevWord2(), "hello");

    // Switched off, a boundary only remembers the word.
    env.defaults().set("layoutSwitchEnabled", false);
    engine->recentLang = "ru";
    EXPECT_FALSE(consider("ghbdtn"));
    EXPECT_TRUE(corrections.isEmpty());
    EXPECT_EQ(engine->recentLang, "ru");
    EXPECT_EQ(engine->prevWord(), "ghbdtn");
}

TEST_F(BoundaryDecision, RefusedCorrectionKeepsTheWord) {
    correctAnswer = false;
    EXPECT_FALSE(consider("ghbdtn"));
    ASSERT_EQ(corrections.size(), 1);
}

TEST_F(BoundaryDecision, SourceLayoutByLetters) {
    EXPECT_EQ(decision->sourceLayout("abв"), "en");
    EXPECT_EQ(decision->sourceLayout("aв"), "ru");
    EXPECT_EQ(decision->sourceLayout("--"), "en");  // the simulated keyboard starts on US
    sources.userSelects("com.apple.keylayout.Russian");
    EXPECT_EQ(decision->sourceLayout("123"), "ru");
}

// The strong open-dictionary words are the lexicons' set that their load fills.
TEST_F(BoundaryDecision, WorthFlippingIntoTheLexiconsStrongWords) {
    lex->openStrong.insert("привет");
    lex->openStrong.insert("дом");
    engine->exceptions = {"ondrixa"};
    EXPECT_TRUE(decision->isWorthFlippingInto("привет"));
    EXPECT_TRUE(decision->isWorthFlippingInto("ondrixa"));
    EXPECT_FALSE(decision->isWorthFlippingInto("дом")) << "fewer than four characters";
    EXPECT_FALSE(decision->isWorthFlippingInto("привал"));
}

TEST_F(BoundaryDecision, AnalysisPicksTheBestReading) {
    const auto a = decision->analyze("ghbdtn", "en");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->best, "ru");
    EXPECT_EQ(a->converted, "привет");
    EXPECT_GT(a->margin, 0);
    const auto own = decision->analyze("hello", "en");
    ASSERT_TRUE(own);
    EXPECT_EQ(own->best, "en");
    EXPECT_EQ(own->margin, 0);

    engine->models.clear();
    EXPECT_FALSE(decision->analyze("ghbdtn", "en"));
    EXPECT_FALSE(consider("ghbdtn"));
    EXPECT_TRUE(vetoes.contains("модель-молчит"));
}

TEST_F(BoundaryDecision, BoundStepsDecideForTheEngine) {
    useDecision(steps, *engine, *lex);
    steps.correct = [this](const QString& word, const QString& to, std::optional<QChar>, const QString& layout,
                                   bool nativeOK, const EditRights&, LayoutSwitcher::CorrectionKind) {
        corrections.append({word, to, layout, nativeOK});
        return true;
    };
    for (QChar c : QStringLiteral("ghbdtn ")) {
        InputEvent e;
        e.unicode = QString(c);
        engine->handleKeyDown(e);
    }
    EXPECT_EQ(lastTo(), "привет");
    ASSERT_TRUE(steps.noteDisagreement);
    steps.noteDisagreement("ghbdtn", "стирание свежей правки", QUuid::createUuid());
    EXPECT_TRUE(engine->disagreementStrike.contains("ghbdtn"));
}

}  // namespace
