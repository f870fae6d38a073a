#include "LayoutTestSupport.h"

#include "layout/ManualInputSourceProfileV1.h"

using namespace murmelo;
using SystemLayouts::Level;

namespace {

using SystemLayoutsTest = test::SimulatedLayouts;
const QString kUS = ManualInputSourceProfileV1::englishUS;
const QString kRussian = ManualInputSourceProfileV1::russianApple;

sim::SimInputSources::Layout layoutNamed(const QString& id, const QString& name) {
    auto l = sim::SimInputSources::usLayout();
    l.source = {id, name};
    return l;
}

}  // namespace

TEST_F(SystemLayoutsTest, KeyLayoutHoldsEachKeysSingleCharacter) {
    const auto ru = SystemLayouts::keyLayout(kRussian, "ru");
    ASSERT_TRUE(ru);
    EXPECT_EQ(ru->language, "ru");
    EXPECT_EQ(ru->name, "Russian");
    EXPECT_EQ(ru->base.size(), 48);
    EXPECT_EQ(ru->base.value(U'g'), U'п');
    EXPECT_EQ(ru->shift.value(U'3'), U'№');
    EXPECT_EQ(ru->reverse.value(U'Ё'), (KeyStroke{U'`', true}));
    EXPECT_FALSE(SystemLayouts::keyLayout("xkb:de", "de"));
}

TEST_F(SystemLayoutsTest, AFailedBuildIsRememberedUntilTheCacheIsForgotten) {
    usOnly();
    EXPECT_FALSE(SystemLayouts::keyLayout(kRussian, "ru"));
    sources.addLayout(sim::SimInputSources::russianLayout());
    EXPECT_FALSE(SystemLayouts::keyLayout(kRussian, "ru"));
    EXPECT_TRUE(SystemLayouts::buildKeyLayout(kRussian, "ru"));
    SystemLayouts::forgetCache();
    EXPECT_TRUE(SystemLayouts::keyLayout(kRussian, "ru"));
}

TEST_F(SystemLayoutsTest, KeysWithoutASingleCharacterAreLeftOutOfTheRecordButNotTheSnapshot) {
    auto odd = layoutNamed("xkb:odd", "Odd");
    odd.levels[1][0] = "AE";  // the a key gives two characters with Shift
    odd.levels[0].remove(1);  // the s key is dead without modifiers
    odd.dead.insert(1);
    odd.levels[2][0] = "å";
    sources.addLayout(odd);

    const auto record = SystemLayouts::keyLayout("xkb:odd", "xx");
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->shift.contains(U'a'));
    EXPECT_FALSE(record->base.contains(U's'));
    EXPECT_EQ(record->base.size(), 47);

    const auto snap = SystemLayouts::snapshot("xkb:odd");
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->name, "Odd");
    EXPECT_EQ(snap->shift().value(U'a'), "AE");
    EXPECT_FALSE(snap->base().contains(U's'));
    EXPECT_EQ(snap->at(Level::option).value(U'a'), "å");
    EXPECT_TRUE(snap->at(Level::optionShift).isEmpty());
    EXPECT_EQ(snap->dead, QList<char32_t>{U's'});
    EXPECT_FALSE(SystemLayouts::snapshot("xkb:none"));
}

TEST_F(SystemLayoutsTest, ALayoutWithoutAnySingleCharacterGivesNoRecord) {
    auto odd = layoutNamed("xkb:odd", "Odd");
    for (auto& text : odd.levels[0]) text = text + text;
    sources.addLayout(odd);
    EXPECT_FALSE(SystemLayouts::keyLayout("xkb:odd", "xx"));
    EXPECT_TRUE(SystemLayouts::snapshot("xkb:odd"));
}

TEST_F(SystemLayoutsTest, KeyDataTranslatesEveryKeyAtEachLevel) {
    const auto data = SystemLayouts::layoutData(kRussian);
    ASSERT_TRUE(data);
    EXPECT_EQ(SystemLayouts::string(5, Level::base, *data), "п");
    EXPECT_EQ(SystemLayouts::string(5, Level::shift, *data), "П");
    EXPECT_FALSE(SystemLayouts::string(36, Level::base, *data));  // Return gives no text
    EXPECT_FALSE(SystemLayouts::string(5, Level::option, *data));
    EXPECT_FALSE(SystemLayouts::isDeadKey(5, false, *data));
    EXPECT_FALSE(SystemLayouts::layoutData("xkb:de"));
    EXPECT_TRUE(SystemLayouts::isKeyboardLayout(kUS));
    EXPECT_FALSE(SystemLayouts::isKeyboardLayout("xkb:de"));
    EXPECT_EQ(SystemLayouts::inputSource(kRussian)->name, "Russian");
}

TEST(SystemLayoutsLevelTest, RawValuesAndModifiers) {
    for (Level l : SystemLayouts::allCases) EXPECT_EQ(SystemLayouts::levelFromRaw(SystemLayouts::rawValue(l)), l);
    EXPECT_EQ(SystemLayouts::rawValue(Level::optionShift), "optionShift");
    EXPECT_FALSE(SystemLayouts::levelFromRaw("Shift"));
    EXPECT_FALSE(SystemLayouts::levelFromRaw("optionshift"));
    EXPECT_EQ(SystemLayouts::modifiers(Level::shift), 2u);
    EXPECT_EQ(SystemLayouts::modifiers(Level::optionShift), 10u);
}

TEST_F(SystemLayoutsTest, TheSelectedSourceAndItsLanguage) {
    sources.addLayout(layoutNamed("xkb:gb", "English (UK)"));
    EXPECT_EQ(SystemInputSourcePrefs::selectedSourceID(), kUS);
    EXPECT_EQ(SystemInputSourcePrefs::selectedLanguage(), "en");
    sources.userSelects(kRussian);
    EXPECT_EQ(SystemInputSourcePrefs::selectedLanguage(), "ru");
    // A second Latin layout is outside the pair.
    sources.userSelects("xkb:gb");
    EXPECT_EQ(SystemInputSourcePrefs::selectedSourceID(), "xkb:gb");
    EXPECT_FALSE(SystemInputSourcePrefs::selectedLanguage());
}

TEST_F(SystemLayoutsTest, DisplayNamesAndIdentifierTailsResolveToTheirSource) {
    sources.addLayout(layoutNamed("xkb:ru(phonetic)", "Russian"));
    const auto& aliases = SystemInputSourcePrefs::nameAliases();
    EXPECT_EQ(SystemInputSourcePrefs::resolve("English (US)", aliases), kUS);
    EXPECT_EQ(SystemInputSourcePrefs::resolve("US", aliases), kUS);
    // The first source to offer a name keeps it.
    EXPECT_EQ(SystemInputSourcePrefs::resolve("Russian", aliases), kRussian);
    EXPECT_EQ(SystemInputSourcePrefs::resolve("xkb:ru(phonetic)", aliases), "xkb:ru(phonetic)");
    EXPECT_FALSE(SystemInputSourcePrefs::resolve("German", aliases));
    EXPECT_FALSE(SystemInputSourcePrefs::resolve("US", {}));
}
