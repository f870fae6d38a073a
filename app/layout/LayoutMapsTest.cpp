#include "LayoutTestSupport.h"

using namespace murmelo;

namespace {

using LayoutMapsTest = test::SimulatedLayouts;

std::optional<QString> convert(const char* text, const char* from, const char* to) {
    return LayoutMaps::convert(QString::fromUtf8(text), QString::fromLatin1(from), QString::fromLatin1(to));
}

}  // namespace

TEST_F(LayoutMapsTest, ConvertsKeystrokesBetweenTheLayouts) {
    struct Case {
        const char* name;
        const char* text;
        const char* from;
        const char* to;
        std::optional<const char*> expected;
    } cases[] = {
        {"word", "ghbdtn", "en", "ru", "привет"},
        {"capital through the Shift level", "Ghbdtn", "en", "ru", "Привет"},
        {"back to English", "руддщ", "ru", "en", "hello"},
        {"empty", "", "en", "ru", ""},
        {"space passes", "ghbdtn vbh", "en", "ru", "привет мир"},
        {"punctuation by its key", "a,b.", "en", "ru", "фбию"},
        {"shifted punctuation", "?", "en", "ru", ","},
        {"typographic quote read as its key", "\u201Chi\u201D", "en", "ru", "ЭршЭ"},
        {"guillemet read as the Russian double quote", "«", "ru", "en", "@"},
        {"long dash read as the hyphen", "\u2014", "en", "ru", "-"},
        {"decomposed letter", "\u0438\u0306", "ru", "en", "q"},
        {"line break", "ghb\ndtn", "en", "ru", std::nullopt},
        {"tab", "a\tb", "en", "ru", std::nullopt},
        {"emoji", "hi\U0001F600", "en", "ru", std::nullopt},
        {"Cyrillic read on the English layout", "при", "en", "ru", std::nullopt},
        {"a layout outside the pair", "abc", "en", "de", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = convert(c.text, c.from, c.to);
        if (c.expected)
            EXPECT_EQ(got, QString::fromUtf8(*c.expected));
        else
            EXPECT_FALSE(got) << got->toStdString();
    }
}

TEST_F(LayoutMapsTest, MapsAreReadFromTheInstalledLayoutsAndLogged) {
    EXPECT_EQ(LayoutMaps::layoutOrder(), (QStringList{"en", "ru"}));
    ASSERT_EQ(LayoutMaps::layouts().size(), 2);
    EXPECT_EQ(LayoutMaps::layouts().constFind("ru")->name, "Russian");
    EXPECT_TRUE(env.logContains(
        "layout/maps: сняты с системы — en=«English (US)» 48+48 клавиш, ru=«Russian» 48+48 клавиш"));
    EXPECT_EQ(LayoutMaps::produce(U'g', false, "ru"), U'п');
    EXPECT_EQ(LayoutMaps::produce(U'2', true, "ru"), U'"');
    EXPECT_EQ(LayoutMaps::forward(U'Ж', "ru"), (KeyStroke{U';', true}));
    // The space bar gives a blank with and without Shift: it is read without.
    EXPECT_EQ(LayoutMaps::forward(U' ', "en"), (KeyStroke{U' ', false}));
    EXPECT_FALSE(LayoutMaps::forward(U'п', "en"));
    EXPECT_EQ(LayoutMaps::languageOf("ru"), "ru");
    EXPECT_EQ(LayoutMaps::languageOf("Russian"), "Russian");

    // Read once: a layout removed later is still known for the life of the process.
    sources.setEnabled({sim::SimInputSources::usLayout().source.id});
    EXPECT_EQ(LayoutMaps::layoutOrder(), (QStringList{"en", "ru"}));
}

TEST_F(LayoutMapsTest, WithoutTheRussianLayoutOnlyEnglishIsKnown) {
    usOnly();
    EXPECT_EQ(LayoutMaps::layoutOrder(), QStringList{"en"});
    EXPECT_TRUE(env.logContains("layout/maps: сняты с системы — en=«English (US)» 48+48 клавиш, "
                                "ru НЕ СНЯЛАСЬ (com.apple.keylayout.Russian)"));
    EXPECT_EQ(LayoutMaps::languageOf("ru"), "ru");
    EXPECT_FALSE(convert("ghbdtn", "en", "ru"));
    EXPECT_FALSE(convert("руддщ", "ru", "en"));
    EXPECT_EQ(convert("", "en", "ru"), "");
    EXPECT_FALSE(LayoutMaps::produce(U'g', false, "ru"));
}

TEST_F(LayoutMapsTest, AKeyMissingOnTheTargetLayoutEndsTheConversion) {
    // A Russian layout whose ё key is dead: nothing can be produced there.
    auto ru = sim::SimInputSources::russianLayout();
    ru.levels[0].remove(50);
    ru.levels[1].remove(50);
    ru.dead.insert(50);
    sources = sim::SimInputSources();
    sources.addLayout(sim::SimInputSources::usLayout());
    sources.addLayout(ru);
    EXPECT_EQ(LayoutMaps::layoutOrder(), (QStringList{"en", "ru"}));
    EXPECT_TRUE(env.logContains("ru=«Russian» 47+47 клавиш"));
    EXPECT_FALSE(convert("`a", "en", "ru"));
    EXPECT_EQ(convert("a", "en", "ru"), "ф");
}

TEST(KLayoutTest, ACharacterGivenWithoutShiftIsReachedWithoutIt) {
    // Key b gives x with Shift and key c gives x without: the unshifted key wins; of two
    // keys at the same level the first listed wins.
    const KLayout l("xx", "Test", {{U'a', U'y'}, {U'c', U'x'}, {U'd', U'y'}}, {{U'b', U'x'}, {U'a', U'z'}});
    EXPECT_EQ(l.reverse.value(U'x'), (KeyStroke{U'c', false}));
    EXPECT_EQ(l.reverse.value(U'y'), (KeyStroke{U'a', false}));
    EXPECT_EQ(l.reverse.value(U'z'), (KeyStroke{U'a', true}));
    EXPECT_EQ(l.reverse.size(), 3);
}
