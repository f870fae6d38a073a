#include "layout/SpellFix.h"

#include "TestEnvironment.h"
#include "platform/SpellChecker.h"
#include "sim/SimSpellChecker.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

QString u(const char16_t* s) { return QString::fromUtf16(s); }

// A switcher around the repair whose protected words are the repair's own exceptions and whose
// corrections a test answers; polish knows no terms.
struct ExceptionsSwitcher : SpellFix::Switcher {
    SpellFix* fix = nullptr;
    std::function<bool(const QString&, const QString&, std::optional<QChar>, const QString&)> corrects;
    bool isProtectedWord(const QString& word) override { return fix && fix->exceptions.contains(word); }
    bool correct(const QString& typed, const QString& replacement, std::optional<QChar> boundary,
                 const QString& layout) override {
        return corrects && corrects(typed, replacement, boundary, layout);
    }
    bool polishTermsKnows(const QString&) override { return false; }
};

class SpellFixTest : public ::testing::Test {
protected:
    SpellFixTest() {
        checker.addWords(QStringLiteral("ru_RU"), {u(u"молоко")});
        lex.spellLoaded = true;
        lex.guessLoaded = true;
        lex.spellLang = QStringLiteral("ru_RU");
        lex.corpusTypos.insert(u(u"превет"), u(u"привет"));
        switcher.fix = &fix;
        fix.isSpellEnabled = true;
        fix.spellVetoSink = [this](const QString& tag) { tags << tag; };
        env.defaults().set(QStringLiteral("layoutSpellGuess"), true);
    }
    std::optional<QString> candidate(const QString& word, bool dictOnly = false) { return fix.spellFixCandidate(word, dictOnly); }

    test::TestEnvironment env;
    sim::SimSpellChecker checker;
    ScopedService<SpellChecker> checkerScope{checker};
    LayoutLexicons lex{env.root(), LayoutSwitcherRules{}};
    ExceptionsSwitcher switcher;
    SpellFix fix{switcher, lex};
    QStringList tags;
};

TEST_F(SpellFixTest, SwitchedOffTouchesNothing) {
    fix.isSpellEnabled = false;
    bool corrected = false;
    switcher.corrects = [&](auto&&...) { return corrected = true; };
    EXPECT_FALSE(fix.trySpellFix(u(u"превет"), {}, {}, QStringLiteral("ru"), QChar(' '), false));
    EXPECT_FALSE(corrected);
    EXPECT_TRUE(fix.recentSpellFixes.isEmpty());
    EXPECT_TRUE(tags.isEmpty());
}

TEST_F(SpellFixTest, RefusalsInOrder) {
    lex.corpusFreq.insert(u(u"корова"), 100);
    fix.exceptions.insert(u(u"жучок"));
    fix.learnedNames.insert(u(u"наташа"));
    fix.prevWord = u(u"вот");
    fix.prevBoundary = QChar(',');
    const struct {
        const char* name;
        QString word;
        bool dictOnly;
        const char16_t* tag;
    } rows[] = {
        {"three letters", u(u"кот"), false, u"коротко<4"},
        {"protected", u(u"жучок"), false, u"исключение"},
        {"corpus knows", u(u"Корова"), false, u"корпус-знает"},
        {"all capitals", u(u"ПРЕВЕТ"), false, u"капс"},
        {"learned name", u(u"наташе"), false, u"выученное-имя"},
        {"capital mid-sentence", u(u"Вася"), false, u"заглавная-в-середине"},
        {"latin", u(u"превеt"), false, u"не-кириллица"},
        {"checker knows", u(u"молоко"), false, u"apple-знает"},
        {"enter without a typo entry", u(u"малоко"), true, u"enter-режим"},
        {"no candidates", u(u"щщщщщ"), false, u"нет-кандидатов"},
    };
    for (const auto& r : rows) {
        tags.clear();
        EXPECT_EQ(candidate(r.word, r.dictOnly), std::nullopt) << r.name;
        EXPECT_EQ(tags, QStringList{u(r.tag)}) << r.name;
    }
    EXPECT_TRUE(fix.learnedNames.contains(u(u"вася")));
    EXPECT_EQ(env.defaults().listValue(QStringLiteral("spellLearnedNames")).size(), 2);

    lex.spellLang.reset();
    tags.clear();
    EXPECT_EQ(candidate(u(u"кот")), std::nullopt);
    EXPECT_EQ(tags, QStringList{u(u"нет-словаря")});
}

TEST_F(SpellFixTest, TypoTableKeepsTheCapitalAtSentenceStart) {
    fix.prevWord = u(u"конец");
    fix.prevBoundary = QChar('.');
    EXPECT_EQ(candidate(u(u"Превет"), true), u(u"Привет"));
    EXPECT_TRUE(env.logContains(u(u"(словарь)")));
    tags.clear();
    // Not in the table: a capital is never guessed, even at the start of a sentence.
    EXPECT_EQ(candidate(u(u"Малоко")), std::nullopt);
    EXPECT_EQ(tags, QStringList{u(u"заглавная-не-угадываем")});
    env.defaults().set(QStringLiteral("layoutSpellGuess"), false);
    tags.clear();
    EXPECT_EQ(candidate(u(u"малоко")), std::nullopt);
    EXPECT_EQ(tags, QStringList{u(u"угадывание-выкл")});
}

TEST_F(SpellFixTest, RetypedSoonAfterAFixBecomesAnException) {
    switcher.corrects = [](auto&&...) { return false; };  // refused corrections still count
    EXPECT_FALSE(fix.trySpellFix(u(u"превет"), {}, {}, QStringLiteral("ru"), QChar(' '), false));
    env.advance(599);
    EXPECT_EQ(candidate(u(u"превет")), std::nullopt);
    EXPECT_EQ(tags.last(), u(u"сопротивление"));
    EXPECT_TRUE(fix.exceptions.contains(u(u"превет")));
    EXPECT_EQ(env.defaults().listValue(QStringLiteral("layoutExceptions")), QVariantList{u(u"превет")});

    fix.noteSpellFix(u(u"карова"));
    env.advance(600);
    lex.corpusTypos.insert(u(u"карова"), u(u"корова"));
    EXPECT_EQ(candidate(u(u"карова")), u(u"корова"));  // a stale entry is ignored
}

TEST_F(SpellFixTest, TrySpellFixCorrectsWithThePunctuationAround) {
    QString typed, replacement;
    switcher.corrects = [&](const QString& t, const QString& r, std::optional<QChar>, const QString&) {
        typed = t;
        replacement = r;
        return true;
    };
    EXPECT_FALSE(fix.trySpellFix(u(u"превет"), QStringLiteral("("), QStringLiteral(")"), QStringLiteral("en"), QChar(' '), false));
    EXPECT_FALSE(fix.trySpellFix(u(u"превет"), QStringLiteral("("), QStringLiteral(")"), QStringLiteral("ru"), std::nullopt, false));
    EXPECT_TRUE(fix.trySpellFix(u(u"превет"), QStringLiteral("("), QStringLiteral(")"), QStringLiteral("ru"), QChar(' '), false));
    EXPECT_EQ(typed, u(u"(превет)"));
    EXPECT_EQ(replacement, u(u"(привет)"));
}

TEST_F(SpellFixTest, DistanceGrowsWithLength) {
    // Six letters allow one edit, seven allow two.
    lex.corpusFreq.insert(u(u"кошкад"), 100);
    lex.corpusFreq.insert(u(u"кошечка"), 100);
    EXPECT_EQ(candidate(u(u"кошкаб")), u(u"кошкад"));
    checker.suggestions[QStringLiteral("ru_RU")][u(u"кощечко")] = {u(u"Кошечка")};
    EXPECT_EQ(candidate(u(u"кощечко")), u(u"кошечка"));
    checker.suggestions[QStringLiteral("ru_RU")][u(u"кошчкк")] = {u(u"кошкад")};
    tags.clear();
    EXPECT_EQ(candidate(u(u"кошчкк")), std::nullopt);
    EXPECT_EQ(tags, QStringList{u(u"нет-кандидатов")});
}

TEST_F(SpellFixTest, AmbiguityAndWordPairs) {
    lex.corpusFreq.insert(u(u"палка"), 100);
    lex.corpusFreq.insert(u(u"пялка"), 55);
    EXPECT_EQ(candidate(u(u"пзлка")), std::nullopt);  // 55 >= 100 / 2, no context
    lex.corpusFreq.insert(u(u"палка"), 120);
    EXPECT_EQ(candidate(u(u"пзлка")), u(u"палка"));
    fix.prevWord = u(u"эта");
    fix.prevBoundary = QChar(' ');
    lex.wordBigrams.insert(u(u"эта\tпялка"), 1);
    EXPECT_EQ(candidate(u(u"пзлка")), u(u"пялка"));
}

TEST_F(SpellFixTest, EqualEvidencePicksTheSameWordEveryTime) {
    lex.corpusFreq.insert(u(u"банка"), 100);
    lex.corpusFreq.insert(u(u"бинка"), 100);
    fix.prevWord = u(u"эта");
    fix.prevBoundary = QChar(' ');
    lex.wordBigrams.insert(u(u"эта\tбанка"), 2);
    lex.wordBigrams.insert(u(u"эта\tбинка"), 2);
    EXPECT_EQ(candidate(u(u"бунка")), u(u"банка"));
}

TEST_F(SpellFixTest, SoundFilterAndSoundCheck) {
    // малоко sounds like молоко, so the far more frequent малоком loses.
    lex.corpusFreq.insert(u(u"малоком"), 1000);
    lex.corpusFreq.insert(u(u"молоко"), 60);
    EXPECT_EQ(candidate(u(u"малоко")), u(u"молоко"));
    EXPECT_EQ(checker.guessCalls(), 1);
    // A candidate that sounds otherwise is refused when a corpus word sounds like the typing.
    lex.corpusFreq.insert(u(u"пирет"), 100);
    EXPECT_EQ(candidate(u(u"пирек")), u(u"пирет"));
    lex.corpusPhoneticKeys.insert(LayoutLexicons::phoneticKey(u(u"пирек")));
    EXPECT_EQ(candidate(u(u"пирек")), std::nullopt);
}

TEST(SpellFixAlone, EditCandidatesAndDistance) {
    test::TestEnvironment env;
    LayoutLexicons lex(env.root(), LayoutSwitcherRules{});
    lex.corpusFreq = {{u(u"кот"), 0}, {u(u"кит"), 5}, {u(u"кто"), 5}, {u(u"коты"), 5}, {u(u"ко"), 5}, {u(u"ток"), 5}, {u(u"дом"), 5}};
    ExceptionsSwitcher switcher;
    SpellFix fix(switcher, lex);
    EXPECT_EQ(fix.corpusEditCandidates(u(u"кот")),
              (QSet<QString>{u(u"кит"), u(u"кто"), u(u"коты"), u(u"ко")}));
    EXPECT_TRUE(fix.corpusEditCandidates(u(u"к")).isEmpty());
    lex.corpusFreq.insert(QString(25, QChar(u'а')).left(24) + u(u"б"), 1);
    EXPECT_TRUE(fix.corpusEditCandidates(QString(25, QChar(u'а'))).isEmpty());
    lex.corpusFreq.insert(u(u"касса"), 1);
    EXPECT_TRUE(fix.corpusEditCandidates(u(u"касса")).contains(u(u"касса")));

    const struct {
        QString a, b;
        int d;
    } rows[] = {{u(u"кот"), u(u"кот"), 0}, {u(u"кот"), u(u"кто"), 2}, {u(u""), u(u"abc"), 3}, {u(u"молоко"), u(u"малако"), 2}};
    for (const auto& r : rows) EXPECT_EQ(SpellFix::levenshtein(r.a, r.b), r.d);
}

TEST(SpellFixAlone, LearnedNames) {
    test::TestEnvironment env;
    LayoutLexicons lex(env.root(), LayoutSwitcherRules{});
    ExceptionsSwitcher switcher;
    SpellFix fix(switcher, lex);
    fix.learnedNames = {u(u"александр")};
    EXPECT_TRUE(fix.isLearnedName(u(u"александр")));
    EXPECT_TRUE(fix.isLearnedName(u(u"александру")));    // common beginning 9
    EXPECT_FALSE(fix.isLearnedName(u(u"алекс")));        // the name has four more
    fix.learnedNames = {u(u"игорь")};
    EXPECT_FALSE(fix.isLearnedName(u(u"игоря")));        // common beginning only 4
}

}  // namespace
}  // namespace murmelo
