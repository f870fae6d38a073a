#include "layout/LayoutLexicons.h"

#include "TestEnvironment.h"
#include "WordTablesTestSupport.h"
#include "base/DevPaths.h"
#include "platform/SpellChecker.h"
#include "sim/SimSpellChecker.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace murmelo {
namespace {

// Sets an environment variable for the scope and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_) qputenv(name_, old_);
        else qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

class LayoutLexiconsTest : public ::testing::Test {
protected:
    LayoutLexiconsTest() {
        checker.addWords(QStringLiteral("en_US"), {});
        checker.addWords(QStringLiteral("ru_RU"), {});
        QDir().mkpath(models());
    }
    QString models() const { return env.root() + QStringLiteral("/models"); }
    void write(const QString& name, const QByteArray& utf8) {
        QFile f(QDir(models()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(utf8);
    }
    LayoutSwitcherRules rules() const { return LayoutSwitcherRules{}; }

    test::TestEnvironment env;
    sim::SimSpellChecker checker;
    ScopedService<SpellChecker> checkerScope{checker};
};

TEST_F(LayoutLexiconsTest, EmptyFolderLogsNoPersonalCorpusAndZeroCounts) {
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(
        "layout/spell: личного корпуса нет (это норма для новой установки), customVocab 0 — жаргон защищён только словарём терминов")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(
        "layout/spell: рус.язык=ru_RU словарей=2 корпус.слов=0 открытых=0 опечаток=0 живых префиксов=0")));
    EXPECT_EQ(lex.spellLangEn, QStringLiteral("en_US"));
}

TEST_F(LayoutLexiconsTest, NoRussianLanguageShowsNet) {
    checker.languages = {QStringLiteral("de_DE")};
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_FALSE(lex.spellLang);
    EXPECT_TRUE(env.logContains(QStringLiteral("рус.язык=НЕТ словарей=1 ")));
}

TEST_F(LayoutLexiconsTest, CorpusPersonalAndCustomVocabularyMerge) {
    write(QStringLiteral("ru_freq.tsv"),
          "кот\n"
          "пёс\tмного\n"
          "дом\t\t12\textra\n"
          "\n"
          "лес\t5\n"
          "лес\t+7\n"
          "сад\t 9\n"
          "мир\t1000\n");
    write(QStringLiteral("personal_freq.tsv"),
          "кот\t7\n"
          "мир\t40\n"
          "нос\t40\n"
          "одно\n"
          "рот\tx\n");
    env.defaults().set(QStringLiteral("customVocab"), QStringLiteral("Жаргон, API-ключ, да, фича2 кот"));
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    const struct {
        const char16_t* word;
        qint64 freq;
    } rows[] = {
        {u"кот", 150},    // 70 from the personal count, then the vocabulary's 150
        {u"пёс", 0},      // a frequency that does not parse counts as 0
        {u"дом", 12},     // runs of tabs separate like one
        {u"лес", 7},      // a later line replaces an earlier one
        {u"сад", 0},      // no spaces inside an integer
        {u"мир", 1000},   // a personal count never lowers the corpus
        {u"нос", 150},    // 10 × 40 is capped at 150
        {u"жаргон", 150}, {u"ключ", 150}, {u"фича", 150},
    };
    for (const auto& r : rows) {
        const QString w = QString::fromUtf16(r.word);
        ASSERT_TRUE(lex.corpusFreq.contains(w)) << w.toStdString();
        EXPECT_EQ(lex.corpusFreq.value(w), r.freq) << w.toStdString();
    }
    EXPECT_FALSE(lex.corpusFreq.contains(QStringLiteral("api")));
    EXPECT_FALSE(lex.corpusFreq.contains(QStringLiteral("да")));
    EXPECT_FALSE(lex.corpusFreq.contains(QStringLiteral("одно")));
    EXPECT_TRUE(env.logContains(QStringLiteral("layout/spell: персональный корпус 3 слов + customVocab 4")));
}

TEST_F(LayoutLexiconsTest, PersonalCorpusSwitchedOffEvenWhenEmpty) {
    write(QStringLiteral("personal_freq.tsv"), "кот\t7\n");
    ScopedEnv off("MURMELO_NO_PERSONAL_CORPUS", QByteArray(""));
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_FALSE(lex.corpusFreq.contains(QStringLiteral("кот")));
    EXPECT_TRUE(env.logContains(QStringLiteral("личного корпуса нет")));
}

TEST_F(LayoutLexiconsTest, OpenDictionaryAndTypos) {
    write(QStringLiteral("ru_open.tsv"),
          "слово\t5\tdict,text\n"
          "лист\t5\ttext\n"
          "нож\n"
          "\t\n");
    write(QStringLiteral("ru_typos.tsv"), "превет\tпривет\nодинокое\nкарова\tкорова\nкарова\tкорова2\n");
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_EQ(lex.openWords, (QSet<QString>{QStringLiteral("слово"), QStringLiteral("лист"), QStringLiteral("нож")}));
    EXPECT_EQ(lex.openStrong, QSet<QString>{QStringLiteral("слово")});
    EXPECT_EQ(lex.corpusTypos.size(), 2);
    EXPECT_EQ(lex.corpusTypos.value(QStringLiteral("карова")), QStringLiteral("корова2"));
}

TEST_F(LayoutLexiconsTest, OpenDictionarySkippedWithEmptySwitch) {
    write(QStringLiteral("ru_open.tsv"), "слово\t5\tdict,text\n");
    ScopedEnv off("MURMELO_NO_OPEN_DICT", QByteArray(""));
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_TRUE(lex.openWords.isEmpty());
    EXPECT_TRUE(lex.openStrong.isEmpty());
}

// A CR before the LF belongs to the line end: a file written with CR LF reads like one
// written with LF, and no word carries a trailing CR.
TEST_F(LayoutLexiconsTest, CrLfLinesReadLikeLfLines) {
    write(QStringLiteral("ru_freq.tsv"), "кот\t5\r\nпёс\r\n");
    write(QStringLiteral("ru_typos.tsv"), "карова\tкорова\r\n");
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_EQ(lex.corpusFreq.value(QStringLiteral("кот")), 5);
    EXPECT_TRUE(lex.corpusFreq.contains(QStringLiteral("пёс")));
    EXPECT_EQ(lex.corpusTypos.value(QStringLiteral("карова")), QStringLiteral("корова"));
}

TEST_F(LayoutLexiconsTest, InvalidUtf8FileIsSkippedWhole) {
    write(QStringLiteral("ru_freq.tsv"), QByteArray("кот\t5\n") + QByteArray("\xff\xfe\t1\n"));
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_TRUE(lex.corpusFreq.isEmpty());
}

TEST_F(LayoutLexiconsTest, LivePrefixesCountDistinctProperPrefixes) {
    write(QStringLiteral("ru_freq.tsv"), "привет\t1\nпривал\t1\nкот\t1\nкоты\t1\nкотик\t1\n");
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    EXPECT_TRUE(lex.livePrefixes.contains(3, QStringLiteral("при")));
    EXPECT_TRUE(lex.livePrefixes.contains(4, QStringLiteral("прив")));
    EXPECT_FALSE(lex.livePrefixes.contains(5, QStringLiteral("приве")));
    EXPECT_FALSE(lex.livePrefixes.contains(4, QStringLiteral("при")));
    // коты gives кот, котик gives кот and коти; кот itself (3 letters) gives nothing.
    EXPECT_TRUE(lex.livePrefixes.contains(3, QStringLiteral("кот")));
    EXPECT_FALSE(lex.livePrefixes.contains(4, QStringLiteral("коти")));
    EXPECT_EQ(lex.livePrefixes.size(), 3);  // при, прив, кот

    LayoutSwitcherRules off;
    off.ruleLivePrefix = false;
    LayoutLexicons without(models(), off);
    without.loadSpellIfNeeded();
    EXPECT_TRUE(without.livePrefixes.isEmpty());
    EXPECT_TRUE(env.logLines().last().endsWith(QStringLiteral("живых префиксов=0")));
}

// The word-set files win over the text tables beside them (a damaged one does not), and the
// personal corpus and the custom vocabulary sit on top: a beginning that the prefix file
// lacks becomes live when an added word brings a second continuing word.
TEST_F(LayoutLexiconsTest, WordSetFilesWinAndTakeTheMergedWords) {
    const QDir dir(models());
    test::writeBytes(dir.filePath(QStringLiteral("ru_freq.fst")),
                     test::wordSetBytes({{QStringLiteral("привет"), 900}, {QStringLiteral("приказ"), 40},
                                         {QStringLiteral("кот"), 5}}, true));
    test::writeBytes(dir.filePath(QStringLiteral("ru_prefixes.fst")), test::wordSetBytes({QStringLiteral("при")}));
    write(QStringLiteral("ru_freq.tsv"), "пёс\t5\n");
    test::writeBytes(dir.filePath(QStringLiteral("ru_open.fst")), test::wordSetBytes({QStringLiteral("слово"), QStringLiteral("лист")}));
    test::writeBytes(dir.filePath(QStringLiteral("ru_open_strong.fst")), test::wordSetBytes({QStringLiteral("слово")}));
    test::writeBytes(dir.filePath(QStringLiteral("ru_typos.fst")), QByteArray("damaged"));
    write(QStringLiteral("ru_typos.tsv"), "карова\tкорова\n");
    write(QStringLiteral("personal_freq.tsv"), "кот\t40\nприказ\t1\n");
    env.defaults().set(QStringLiteral("customVocab"), QStringLiteral("привал прибой"));
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();

    EXPECT_EQ(lex.corpusFreq.value(QStringLiteral("привет")), 900);
    EXPECT_EQ(lex.corpusFreq.value(QStringLiteral("кот")), 150);
    EXPECT_EQ(lex.corpusFreq.value(QStringLiteral("приказ")), 40);
    EXPECT_EQ(lex.corpusFreq.value(QStringLiteral("привал")), 150);
    EXPECT_FALSE(lex.corpusFreq.contains(QStringLiteral("пёс")));
    EXPECT_FALSE(lex.corpusFreq.contains(QStringLiteral("Привет")));
    EXPECT_EQ(lex.corpusFreq.size(), 5);
    EXPECT_TRUE(lex.openWords == (QSet<QString>{QStringLiteral("слово"), QStringLiteral("лист")}));
    EXPECT_TRUE(lex.openStrong == QSet<QString>{QStringLiteral("слово")});
    EXPECT_EQ(lex.corpusTypos.value(QStringLiteral("карова")), QStringLiteral("корова"));

    // привет and the added привал continue прив; прива and приб have one word each.
    EXPECT_TRUE(lex.livePrefixes.contains(3, QStringLiteral("при")));
    EXPECT_TRUE(lex.livePrefixes.contains(4, QStringLiteral("прив")));
    EXPECT_FALSE(lex.livePrefixes.contains(5, QStringLiteral("прива")));
    EXPECT_FALSE(lex.livePrefixes.contains(4, QStringLiteral("приб")));
    EXPECT_TRUE(env.logLines().last().endsWith(
        QStringLiteral("корпус.слов=5 открытых=2 опечаток=1 живых префиксов=2")));
}

// The committed word-set files hold what the committed text tables beside them say: the
// switcher answers every question alike from either form.
TEST(LayoutLexiconsFiles, CommittedWordSetFilesHoldWhatTheTextTablesHold) {
    test::TestEnvironment env;
    sim::SimSpellChecker checker;
    ScopedService<SpellChecker> checkerScope{checker};
    const QDir shipped(murmeloSourceRoot() + QStringLiteral("/resources/layout-models"));
    const QString textDir = env.root() + QStringLiteral("/text");
    QDir().mkpath(textDir);
    for (const char* name : {"ru_freq.tsv", "ru_open.tsv", "ru_typos.tsv"}) {
        ASSERT_TRUE(QFile::copy(shipped.filePath(QLatin1String(name)), QDir(textDir).filePath(QLatin1String(name))));
    }
    LayoutLexicons mapped(shipped.path(), LayoutSwitcherRules{});
    LayoutLexicons text(textDir, LayoutSwitcherRules{});
    mapped.loadSpellIfNeeded();
    text.loadSpellIfNeeded();
    ASSERT_TRUE(mapped.corpusFreq.file());
    ASSERT_FALSE(text.corpusFreq.file());
    EXPECT_GT(text.corpusFreq.size(), 10000);
    EXPECT_EQ(mapped.corpusFreq.size(), text.corpusFreq.size());
    EXPECT_EQ(mapped.openWords.size(), text.openWords.size());
    EXPECT_EQ(mapped.openStrong.size(), text.openStrong.size());
    EXPECT_EQ(mapped.corpusTypos.size(), text.corpusTypos.size());
    EXPECT_EQ(mapped.livePrefixes.size(), text.livePrefixes.size());

    auto firstColumn = [&](const char* name, auto&& fn) {
        QFile f(QDir(textDir).filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (!line.isEmpty()) fn(QString::fromUtf8(line.left(line.indexOf('\t'))));
        }
    };
    int differ = 0;
    firstColumn("ru_freq.tsv", [&](const QString& w) {
        differ += mapped.corpusFreq.value(w, -1) != text.corpusFreq.value(w, -2);
        for (int L = 3; L <= std::min(int(w.size()) - 1, 8); ++L)
            differ += mapped.livePrefixes.contains(L, w.left(L)) != text.livePrefixes.contains(L, w.left(L));
    });
    firstColumn("ru_open.tsv", [&](const QString& w) {
        differ += !mapped.openWords.contains(w) || mapped.openStrong.contains(w) != text.openStrong.contains(w);
    });
    firstColumn("ru_typos.tsv", [&](const QString& w) { differ += mapped.corpusTypos.find(w) != text.corpusTypos.find(w); });
    EXPECT_EQ(differ, 0);
}

TEST_F(LayoutLexiconsTest, LoadsOnlyOnce) {
    write(QStringLiteral("ru_freq.tsv"), "кот\t5\n");
    LayoutLexicons lex(models(), rules());
    lex.loadSpellIfNeeded();
    write(QStringLiteral("ru_freq.tsv"), "пёс\t5\n");
    lex.loadSpellIfNeeded();
    EXPECT_TRUE(lex.corpusFreq.contains(QStringLiteral("кот")));
    EXPECT_EQ(env.logLines().size(), 2);
}

TEST_F(LayoutLexiconsTest, GuessTablesFollowTheSetting) {
    write(QStringLiteral("ru_freq.tsv"), "молоко\t5\nсъесть\t3\n");
    write(QStringLiteral("ru_bigrams.tsv"), "пить\tмолоко\t12\nпить\tчай\tмного\nодно\tполе\n");
    {
        LayoutLexicons lex(models(), rules());
        lex.loadSpellIfNeeded();
        EXPECT_FALSE(lex.guessLoaded);
        lex.setSpellGuessEnabled(true);  // after the spell load: at once
        EXPECT_TRUE(lex.guessLoaded);
        EXPECT_EQ(lex.wordBigrams.value(QStringLiteral("пить\tмолоко")), 12);
        EXPECT_EQ(lex.wordBigrams.value(QStringLiteral("пить\tчай"), -1), 0);
        EXPECT_EQ(lex.wordBigrams.size(), 2);
        EXPECT_EQ(lex.corpusPhoneticKeys, (QSet<QString>{QStringLiteral("малака"), QStringLiteral("сист")}));
        EXPECT_TRUE(env.logLines().last().contains(QStringLiteral("(биграмм 2, звучаний 2)")));
    }
    {
        LayoutLexicons lex(models(), rules());  // switched on before any check: deferred
        EXPECT_FALSE(lex.guessLoaded);
        lex.loadSpellIfNeeded();
        EXPECT_TRUE(lex.guessLoaded);
    }
}

TEST(PhoneticKey, Examples) {
    const struct {
        const char16_t* word;
        const char16_t* key;
    } rows[] = {{u"молоко", u"малака"}, {u"малако", u"малака"}, {u"сьесть", u"сист"}, {u"ПЯТЬЕЕ", u"пити"}, {u"", u""}};
    for (const auto& r : rows) {
        EXPECT_EQ(LayoutLexicons::phoneticKey(QString::fromUtf16(r.word)), QString::fromUtf16(r.key));
    }
}

TEST(IsCyrillicLetter, OnlyTheRussianAlphabet) {
    for (const char16_t c : std::u16string(u"аяАЯёЁжЖ")) EXPECT_TRUE(LayoutLexicons::isCyrillicLetter(QChar(c)));
    for (const char16_t c : std::u16string(u"aZ1-іїў ")) EXPECT_FALSE(LayoutLexicons::isCyrillicLetter(QChar(c)));
}

TEST_F(LayoutLexiconsTest, BackgroundLoadAnswersNothingUntilHandedOver) {
    write(QStringLiteral("ru_freq.tsv"), "кот\t5\n");
    LayoutLexicons lex(models(), rules());
    lex.startLoadingInBackground();
    EXPECT_TRUE(lex.spellLoaded);
    EXPECT_TRUE(lex.isLoading());
    lex.loadSpellIfNeeded();  // never loads a second time, never waits
    lex.joinLoader();
    EXPECT_TRUE(lex.corpusFreq.isEmpty());  // tables are handed over on the main thread
    EXPECT_FALSE(lex.spellLang);
    env.runPending();
    EXPECT_FALSE(lex.isLoading());
    EXPECT_EQ(lex.corpusFreq.value(QStringLiteral("кот")), 5);
    EXPECT_EQ(lex.spellLang, QStringLiteral("ru_RU"));
    EXPECT_EQ(env.logLines().size(), 2);
}

TEST_F(LayoutLexiconsTest, GuessSwitchedOnDuringBackgroundLoadWaitsForTheCorpus) {
    write(QStringLiteral("ru_freq.tsv"), "молоко\t5\n");
    LayoutLexicons lex(models(), rules());
    lex.startLoadingInBackground();
    lex.setSpellGuessEnabled(true);
    EXPECT_FALSE(lex.guessLoaded);
    lex.joinLoader();
    env.runPending();
    EXPECT_TRUE(lex.guessLoaded);
    EXPECT_TRUE(lex.corpusPhoneticKeys.contains(QStringLiteral("малака")));
}

TEST_F(LayoutLexiconsTest, BackgroundLoadOutlivedByNothing) {
    write(QStringLiteral("ru_freq.tsv"), "кот\t5\n");
    {
        LayoutLexicons lex(models(), rules());
        lex.startLoadingInBackground();
    }
    env.runPending();  // the hand-over finds the lexicons gone and does nothing
    SUCCEED();
}

}  // namespace
}  // namespace murmelo
