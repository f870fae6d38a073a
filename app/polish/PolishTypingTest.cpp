#include "polish/PolishTyping.h"

#include <gtest/gtest.h>

using namespace murmelo;
using PolishTyping::Plan;

namespace {

struct PlanCase {
    const char* name;
    QString have, want, gap;
    bool trustGap;
    std::optional<Plan> expected;
};

Plan planOf(int backspaces, const QString& insert, const QString& erased, const QString& why) {
    return Plan{backspaces, insert, why, erased};
}

TEST(PolishTypingTest, PlansEraseFromTheFirstDifferenceToTheCaretAndRetypeTheRest) {
    const PlanCase cases[] = {
        {"comma and capital with a space before the caret", "привет мир", "Привет, мир", " ", false,
         planOf(11, "Привет, мир ", "привет мир ", "снять 11, впечатать 12")},
        {"two spaces in the gap are retyped", "кот", "кит", "  ", false, planOf(4, "ит  ", "от  ", "снять 4, впечатать 4")},
        {"caret at the end of the stretch", "мама", "мама.", "", false, planOf(0, ".", "", "снять 0, впечатать 1")},
        {"a letter in the gap refuses", "кот", "кит", " а", false, std::nullopt},
        {"a trusted gap is retyped with its letter", "кот", "кит", " а", true, planOf(4, "ит а", "от а", "снять 4, впечатать 4")},
        {"nothing to change", "кот", "кот", " ", false, std::nullopt},
        {"canonically equal spellings are nothing to change", QString::fromUtf8("e\xCC\x81"), QString::fromUtf8("\xC3\xA9"), "",
         false, std::nullopt},
        {"a line break after the difference refuses", "кот\nпёс", "кит\nпёс", "", false, std::nullopt},
        {"a line break typed refuses", "кот", "кот\n", "", false, std::nullopt},
        {"a line break in the gap refuses", "кот", "кит", "\n", false, std::nullopt},
        {"a line break inside the common start is kept", "ок\nкот", "ок\nкит", "", false,
         planOf(2, "ит", "от", "снять 2, впечатать 2")},
        {"an accented letter is one Backspace", QString::fromUtf8("cafe\xCC\x81 x"), QString::fromUtf8("cafe\xCC\x81 y"), "", false,
         planOf(1, "y", "x", "снять 1, впечатать 1")},
        {"an emoji with its skin tone is one Backspace", QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"), "ok", "", false,
         planOf(1, "ok", QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"), "снять 1, впечатать 2")},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PolishTyping::plan(c.have, c.want, c.gap, c.trustGap), c.expected);
    }
}

TEST(PolishTypingTest, ALineBreakCountsOnlyWhereThePacketActs) {
    EXPECT_TRUE(PolishTyping::eatsNewline("a\r\nb", "a\r\nc", "\r\n"));
    EXPECT_FALSE(PolishTyping::eatsNewline("a\r\nb", "a\r\nc", " "));
    EXPECT_TRUE(PolishTyping::eatsNewline("ab", QString("a") + QChar(0x2028) + "b", ""));
    EXPECT_TRUE(PolishTyping::eatsNewline("ab", "ac", QString(QChar(0x85))));
}

TEST(PolishTypingTest, NarrowRangeGivesTheDifferingStretchInUnits) {
    EXPECT_EQ(PolishTyping::narrowRange("abc", "abXc"), (PolishTyping::Narrowed{2, 0, "X"}));
    EXPECT_EQ(PolishTyping::narrowRange("привет мир", "привет, мир"), (PolishTyping::Narrowed{6, 0, ","}));
    // A character outside the basic plane counts two units.
    EXPECT_EQ(PolishTyping::narrowRange(QString::fromUtf8("\xF0\x9F\x98\x80 кот"), QString::fromUtf8("\xF0\x9F\x98\x80 кит")),
              (PolishTyping::Narrowed{4, 1, "и"}));
}

}  // namespace
