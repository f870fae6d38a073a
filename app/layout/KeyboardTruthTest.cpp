#include "LayoutTestSupport.h"

#include "platform/KeyEventPoster.h"

using namespace murmelo;

namespace {

using KeyboardTruthTest = test::SimulatedLayouts;
constexpr quint16 kG = 5, kOne = 18, kSpace = 49, kGrave = 50;
constexpr quint64 kCapsLock = 0x10000;

}  // namespace

TEST_F(KeyboardTruthTest, TheLayoutThatAloneProducesTheTextOwnsThePress) {
    struct Case {
        const char* name;
        quint16 key;
        quint64 flags;
        const char* produced;
        std::optional<const char*> language;
    } cases[] = {
        {"G giving п", kG, 0, "п", "ru"},
        {"G giving g", kG, 0, "g", "en"},
        {"G with Shift giving П", kG, KeyFlags::shift, "П", "ru"},
        {"Command is ignored", kG, KeyFlags::command, "g", "en"},
        {"digit: the same on both", kOne, 0, "1", std::nullopt},
        {"space bar: the same on both", kSpace, 0, " ", std::nullopt},
        {"Caps Lock is not Shift", kG, kCapsLock, "П", std::nullopt},
        {"text neither layout gives", kG, 0, "x", std::nullopt},
        {"nothing produced", kG, 0, "", std::nullopt},
        {"Option level the layouts lack", kG, KeyFlags::option, "g", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = KeyboardTruth::language(c.key, c.flags, QString::fromUtf8(c.produced));
        if (c.language)
            EXPECT_EQ(got, QString::fromLatin1(*c.language));
        else
            EXPECT_FALSE(got);
    }
}

TEST_F(KeyboardTruthTest, TranslationReadsTheLevelOfTheFlags) {
    using L = SystemLayouts::Level;
    EXPECT_EQ(KeyboardTruth::level(0), L::base);
    EXPECT_EQ(KeyboardTruth::level(KeyFlags::shift | kCapsLock), L::shift);
    EXPECT_EQ(KeyboardTruth::level(KeyFlags::option), L::option);
    EXPECT_EQ(KeyboardTruth::level(KeyFlags::shift | KeyFlags::option | KeyFlags::command), L::optionShift);
    EXPECT_EQ(KeyboardTruth::translation(kGrave, KeyFlags::shift, "ru"), "Ё");
    EXPECT_EQ(KeyboardTruth::translation(kGrave, 0, "en"), "`");
    EXPECT_FALSE(KeyboardTruth::translation(kG, 0, "de"));
    EXPECT_FALSE(KeyboardTruth::translation(kG, 0, "RU"));
}

TEST_F(KeyboardTruthTest, ADeadKeyHasNoTranslation) {
    auto us = sim::SimInputSources::usLayout();
    us.levels[0].remove(kGrave);
    us.dead.insert(kGrave);
    sources = sim::SimInputSources();
    sources.addLayout(us);
    sources.addLayout(sim::SimInputSources::russianLayout());
    EXPECT_FALSE(KeyboardTruth::translation(kGrave, 0, "en"));
    EXPECT_EQ(KeyboardTruth::language(kGrave, 0, "ё"), "ru");
}

TEST_F(KeyboardTruthTest, WithoutTheRussianLayoutOnlyEnglishCanBeTheAnswer) {
    usOnly();
    EXPECT_EQ(KeyboardTruth::language(kG, 0, "g"), "en");
    EXPECT_FALSE(KeyboardTruth::language(kG, 0, "п"));
    EXPECT_FALSE(KeyboardTruth::translation(kG, 0, "ru"));
}
