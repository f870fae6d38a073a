#include "wordforms/Alphabet.h"
#include "wordforms/Utf8.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <thread>

namespace murmelo {
namespace {

TEST(Alphabet, DefaultCodesFollowTheLiteralWithYoLast) {
    const auto a = Alphabet::defaultAlphabet();
    ASSERT_EQ(a.size(), 33u);
    EXPECT_EQ(a.code(U'а'), 33);
    EXPECT_EQ(a.code(U'б'), 34);
    EXPECT_EQ(a.code(U'е'), 38);
    EXPECT_EQ(a.code(U'я'), 64);
    EXPECT_EQ(a.code(U'ё'), 'A');
    // code() is a plain lookup: no lower-casing.
    EXPECT_EQ(a.code(U'А'), std::nullopt);
    // Byte order of keys is alphabet order: ё after я, a word before its extensions.
    EXPECT_LT(*a.encode("ящик"), *a.encode("ёж"));
    EXPECT_LT(*a.encode("ёж"), *a.encode("ёжик"));
}

struct ParseCase {
    const char* name;
    std::string text;
    std::optional<std::u32string> letters;  // nothing: parsing fails
};

std::string distinctLines(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        utf8::append(text, char32_t(0x4E00 + i));
        text += "\n";
    }
    return text;
}

TEST(Alphabet, ParseTable) {
    const ParseCase cases[] = {
        {"repeat keeps first code", "а\nб\nа\n", U"аб"},
        {"first character only", "аbc\nбёж\n", U"аб"},
        {"blank line skipped, crlf ending", "а\r\n\r\n\nб\r\n", U"аб"},
        {"final line without feed counts", "а\nб", U"аб"},
        {"leading blank is a letter", " а\n", U" "},
        {"lone carriage return is a letter", "\rа", U"\r"},
        {"only empty lines fail", "\n\n\r\n", std::nullopt},
        {"empty text fails", "", std::nullopt},
        {"94 letters fit", distinctLines(94), std::u32string()},
        {"95 letters do not", distinctLines(95), std::nullopt},
        {"95 lines with a repeat fit", distinctLines(94) + "\xE4\xB8\x80\n", std::u32string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto a = Alphabet::parse(c.text);
        ASSERT_EQ(a.has_value(), c.letters.has_value());
        if (!a || c.letters->empty()) continue;
        EXPECT_EQ(std::u32string(a->letters().begin(), a->letters().end()), *c.letters);
    }
    const auto two = Alphabet::parse("а\nб\nа\n");
    EXPECT_EQ(two->code(U'а'), 33);
    EXPECT_EQ(two->code(U'б'), 34);
}

TEST(Alphabet, TextRoundTrip) {
    const auto a = Alphabet::defaultAlphabet();
    const auto back = Alphabet::parse(a.toText());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->letters(), a.letters());
    EXPECT_EQ(back->toText(), a.toText());
}

TEST(Alphabet, EncodeFoldsCaseOnlyAndRefusesForeignCharacters) {
    const auto a = Alphabet::defaultAlphabet();
    EXPECT_EQ(a.encode("ЁЛКА"), a.encode("ёлка"));
    EXPECT_NE(a.encode("ёлка"), a.encode("елка"));
    for (const char* bad : {"", "из-за", "ё1", "слоvo", "два слова", "\xD0", "o'"})
        EXPECT_EQ(a.encode(std::string_view(bad)), std::nullopt) << bad;
}

TEST(Alphabet, DecodeSkipsBytesThatAreNoCode) {
    const auto a = Alphabet::defaultAlphabet();
    EXPECT_EQ(a.decode(*a.encode("Ёжик")), "ёжик");
    EXPECT_EQ(a.decode(std::string("!\x05\"") + "B" + "\x20" + "A" + "\xFF"), "абё");
}

TEST(Alphabet, EveryThreadHasItsOwnDefault) {
    std::string fromThread;
    std::thread t([&] { fromThread = enc::decode(*enc::encode("Привет")); });
    t.join();
    EXPECT_EQ(fromThread, "привет");
    EXPECT_EQ(enc::decode(*enc::encode("ПРИВЕТ")), "привет");
}

// The library's own lower-casing must agree with the Unicode data wherever it claims a
// script: Latin, Greek, Cyrillic, Armenian.
TEST(Utf8, LowerCaseAgreesWithUnicodeForCoveredScripts) {
    const std::pair<char32_t, char32_t> ranges[] = {
        {0x0, 0x17F}, {0x370, 0x3FF}, {0x400, 0x52F}, {0x531, 0x556}, {0x1EA0, 0x1EFF}, {0xFF21, 0xFF3A}};
    for (const auto& [lo, hi] : ranges) {
        for (char32_t c = lo; c <= hi; ++c) {
            const char32_t expected = c == 0x130 ? U'i' : static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
            EXPECT_EQ(utf8::toLower(c), expected) << std::hex << unsigned(c);
            EXPECT_EQ(utf8::isUpper(c), bool(u_isUUppercase(static_cast<UChar32>(c))) && expected != c)
                << std::hex << unsigned(c);
        }
    }
}

TEST(Utf8, MalformedSequencesAreRefused) {
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80", "\xFF"})
        EXPECT_FALSE(utf8::valid(bad)) << bad;
    EXPECT_TRUE(utf8::valid("ёж \xF0\x9F\x99\x82"));
}

}  // namespace
}  // namespace murmelo
