#include "linux/Utf16Offsets.h"

#include <gtest/gtest.h>

using namespace murmelo::linuxdesktop;

TEST(Utf16Offsets, CharactersAndCodeUnitsConvertBothWays) {
    const QString text = QStringLiteral("a😀bё🎉");  // a, pair, b, ё, pair: 5 characters, 7 units
    struct Case {
        qsizetype chars;
        qsizetype units;
    } cases[] = {{0, 0}, {1, 1}, {2, 3}, {3, 4}, {4, 5}, {5, 7}};
    for (const Case& c : cases) {
        EXPECT_EQ(utf16FromCharacters(text, c.chars), c.units) << c.chars;
        EXPECT_EQ(charactersFromUtf16(text, c.units), c.chars) << c.units;
    }
    // Past the end clamps; inside a pair the character is not reached yet.
    EXPECT_EQ(utf16FromCharacters(text, 99), 7);
    EXPECT_EQ(charactersFromUtf16(text, 99), 5);
    EXPECT_EQ(charactersFromUtf16(text, 2), 1);
    EXPECT_EQ(utf16FromCharacters(QString(), 3), 0);
}
