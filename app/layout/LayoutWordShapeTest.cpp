#include "layout/LayoutDecisionTestSupport.h"

using namespace murmelo;
using murmelo::test::DecisionFixture;

namespace {

struct WordShape : DecisionFixture {
    void SetUp() override {
        DecisionFixture::SetUp();
        knows("ru_RU", {"журнал", "привет", "дал"});
        knows("en_US", {"hello"});
    }
    LayoutWordShape& shape() { return decision->shape(); }
};

TEST_F(WordShape, SplitAffixes) {
    const auto& all = WordClasses::punctAll();
    EXPECT_EQ(shape().splitAffixes("?!…", all, std::nullopt, true), (WordParts{"?!…", "", ""}));
    EXPECT_EQ(shape().splitAffixes("(ghbdtn),", all, std::nullopt, true), (WordParts{"(", "ghbdtn", "),"}));
    EXPECT_EQ(shape().splitAffixes("«да»", all, std::nullopt, true), (WordParts{"«", "да", "»"}));
    // ";ehyfk" is "журнал" on the Russian layout: its leading sign is a letter.
    EXPECT_EQ(shape().splitAffixes(";ehyfk", all, QStringLiteral("en"), true), (WordParts{"", ";ehyfk", ""}));
    EXPECT_EQ(shape().splitAffixes(";ehyfk", all, QStringLiteral("en"), false), (WordParts{";", "ehyfk", ""}));
    EXPECT_EQ(shape().splitAffixes(";ehyfk", all, std::nullopt, true), (WordParts{";", "ehyfk", ""}));
}

TEST_F(WordShape, PeelSlashesAndDigitTails) {
    EXPECT_EQ(LayoutWordShape::peelSlashAffixes("//abc/"), (WordParts{"//", "abc", "/"}));
    for (const char* whole : {"a/b", "a&b", "a1b", "///"})
        EXPECT_EQ(LayoutWordShape::peelSlashAffixes(whole), (WordParts{"", whole, ""})) << whole;

    using Split = std::pair<QString, QString>;
    EXPECT_EQ(shape().peelDigitTail("айфон15", "ru"), Split("айфон", "15"));
    EXPECT_EQ(shape().peelDigitTail("ту-154", "ru"), Split("ту", "-154"));
    EXPECT_EQ(shape().peelDigitTail("ф123", "ru"), Split("ф123", ""));      // one letter
    EXPECT_EQ(shape().peelDigitTail("абв-", "ru"), Split("абв-", ""));      // no digit
    EXPECT_EQ(shape().peelDigitTail("abc15", "en"), Split("abc15", ""));
}

TEST_F(WordShape, CommandShapesAndSchemes) {
    for (const char* yes : {"-rf", "./run", "~/bin", "%PATH%", "http://x", "$HOME", "a=b", "x=="})
        EXPECT_TRUE(LayoutWordShape::isCommandShapedToken(yes)) << yes;
    for (const char* no : {"well-known", "word", "/usr"}) EXPECT_FALSE(LayoutWordShape::isCommandShapedToken(no)) << no;

    const auto scheme = LayoutWordShape::urlSchemeFlip("реез", "ru");
    ASSERT_TRUE(scheme);
    EXPECT_EQ(scheme->first, "http");
    EXPECT_EQ(scheme->second, "en");
    EXPECT_FALSE(LayoutWordShape::urlSchemeFlip("http", "en"));

    using Split = std::pair<QString, QString>;
    EXPECT_EQ(LayoutWordShape::peelCommandPrefix("/help"), Split("/", "help"));
    EXPECT_EQ(LayoutWordShape::peelCommandPrefix("/a/b"), Split("", "/a/b"));
}

TEST_F(WordShape, FlippedReadingAndInnerMark) {
    const auto flipped = shape().flippedReadingIsWord(";ehyfk", "en", true);
    ASSERT_TRUE(flipped);
    EXPECT_EQ(flipped->first, "ru");
    EXPECT_EQ(flipped->second, "журнал");
    EXPECT_FALSE(shape().flippedReadingIsWord(";ehyfk", "en", false));
    EXPECT_FALSE(shape().flippedReadingIsWord(";e", "en", true));

    EXPECT_TRUE(shape().innerMarkBlocksDict("do.it", "en", true, true));
    EXPECT_FALSE(shape().innerMarkBlocksDict("(word),", "en", true, true));
    EXPECT_FALSE(shape().innerMarkBlocksDict("do.it", "en", false, true));
}

TEST_F(WordShape, CapitalAbbreviations) {
    EXPECT_EQ(shape().capsAbbreviationSide("NASA", "en", "ТФЫФ", "ru"), "en");
    EXPECT_EQ(shape().capsAbbreviationSide("ЫЩЫ", "ru", "SOS", "en"), "en");
    EXPECT_FALSE(shape().capsAbbreviationSide("NASAX", "en", "ТФЫФЧ", "ru"));
    EXPECT_FALSE(shape().capsAbbreviationSide("NaSA", "en", "ТфЫФ", "ru"));
    // A Russian reading that is a curated short word is no English abbreviation.
    lex->corpusFreq.insert("дом", 10);
    EXPECT_FALSE(shape().capsAbbreviationSide("LJV", "en", "ДОМ", "ru"));
}

TEST_F(WordShape, EdgePunctuationOfAConversion) {
    // After a consonant the comma key stays a comma; after a vowel it is the letter.
    EXPECT_EQ(shape().resolveTrailingPunct("lfk,", "далб", "en", "ru"), "дал,");
    EXPECT_EQ(shape().resolveTrailingPunct("vfvf,", "мамаб", "en", "ru"), "мамаб");
    EXPECT_EQ(shape().resolveTrailingPunct("руддщб", "hello,", "ru", "en"), "hello,");

    EXPECT_EQ(shape().trailSignStaysAsTyped("ghbdtn?", "привет,", "en", "ru", true), "привет?");
    EXPECT_TRUE(env.logContains("хвостовой знак «?» уже пунктуация, зеркало «,» не ставим"));
    EXPECT_EQ(shape().trailSignStaysAsTyped("lf?", "да,", "en", "ru", true), "да,");  // too short
    EXPECT_EQ(shape().trailSignStaysAsTyped("ghbdtn?", "привет,", "en", "ru", false), "привет,");

    EXPECT_EQ(shape().resolveEdgePunct("(", "ghbdtn", ")", "привет", "en", "ru", true), "(привет)");
    // Edge signs that spell a Russian word with the core are its letters.
    EXPECT_EQ(shape().resolveEdgePunct(";", "ehyfk", "", "урнал", "en", "ru", true), "журнал");
}

}  // namespace
