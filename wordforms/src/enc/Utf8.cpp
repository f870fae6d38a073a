#include "wordforms/Utf8.h"

namespace murmelo::utf8 {

std::optional<char32_t> next(std::string_view text, std::size_t& pos) {
    if (pos >= text.size()) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    // Two-byte sequences (Cyrillic, Greek, accented Latin) are most words' letters.
    if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && pos + 1 < text.size() && (byte(pos + 1) & 0xC0) == 0x80) {
        const char32_t c = (char32_t(b0 & 0x1F) << 6) | (byte(pos + 1) & 0x3F);
        pos += 2;
        return c;
    }
    std::size_t len;
    char32_t c;
    char32_t least;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, c = b0 & 0x1F, least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, c = b0 & 0x0F, least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, c = b0 & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - pos < len) return std::nullopt;
    for (std::size_t i = 1; i < len; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    pos += len;
    return c;
}

bool valid(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size())
        if (!next(text, pos)) return false;
    return true;
}

std::optional<std::u32string> decode(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto c = next(text, pos);
        if (!c) return std::nullopt;
        out.push_back(*c);
    }
    return out;
}

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string encode(std::u32string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char32_t c : text) append(out, c);
    return out;
}

namespace {

bool in(char32_t c, char32_t lo, char32_t hi) { return c >= lo && c <= hi; }
// Blocks where upper and lower case alternate: the upper-case letter sits at an even (or odd)
// position and its lower case right after it.
bool pairUpper(char32_t c, char32_t lo, char32_t hi, bool evenUpper) {
    return in(c, lo, hi) && ((c % 2 == 0) == evenUpper);
}

}  // namespace

char32_t toLower(char32_t c) {
    if (c < 0x80) return in(c, 'A', 'Z') ? c + 32 : c;
    if (in(c, 0x430, 0x45F)) return c;  // lower-case Cyrillic, the common case
    // Latin-1 and Latin Extended-A
    if (in(c, 0xC0, 0xDE) && c != 0xD7) return c + 32;
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    if (pairUpper(c, 0x100, 0x12F, true) || pairUpper(c, 0x132, 0x137, true) ||
        pairUpper(c, 0x139, 0x148, false) || pairUpper(c, 0x14A, 0x177, true) ||
        pairUpper(c, 0x179, 0x17E, false))
        return c + 1;
    // The common part of Latin Extended-B
    if (c == 0x1C4 || c == 0x1C7 || c == 0x1CA || c == 0x1F1) return c + 2;
    if (pairUpper(c, 0x1CD, 0x1DC, false) || pairUpper(c, 0x1DE, 0x1EF, true) ||
        pairUpper(c, 0x1F8, 0x21F, true) || pairUpper(c, 0x222, 0x233, true))
        return c + 1;
    // Greek
    if (c == 0x370 || c == 0x372 || c == 0x376) return c + 1;
    if (c == 0x37F) return 0x3F3;
    if (c == 0x386) return 0x3AC;
    if (in(c, 0x388, 0x38A)) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (in(c, 0x38E, 0x38F)) return c + 63;
    if (in(c, 0x391, 0x3A1) || in(c, 0x3A3, 0x3AB)) return c + 32;
    if (c == 0x3CF) return 0x3D7;
    if (pairUpper(c, 0x3D8, 0x3EF, true)) return c + 1;
    if (c == 0x3F4) return 0x3B8;
    if (c == 0x3F7 || c == 0x3FA) return c + 1;
    if (c == 0x3F9) return 0x3F2;
    if (in(c, 0x3FD, 0x3FF)) return c - 130;
    // Cyrillic
    if (in(c, 0x400, 0x40F)) return c + 80;
    if (in(c, 0x410, 0x42F)) return c + 32;
    if (pairUpper(c, 0x460, 0x481, true) || pairUpper(c, 0x48A, 0x4BF, true) ||
        pairUpper(c, 0x4C1, 0x4CE, false) || pairUpper(c, 0x4D0, 0x52F, true))
        return c + 1;
    if (c == 0x4C0) return 0x4CF;
    // Armenian
    if (in(c, 0x531, 0x556)) return c + 48;
    // Latin Extended Additional
    if (pairUpper(c, 0x1E00, 0x1E95, true) || pairUpper(c, 0x1EA0, 0x1EFF, true)) return c + 1;
    if (c == 0x1E9E) return 0xDF;
    // Roman numerals, circled and full-width letters
    if (in(c, 0x2160, 0x216F)) return c + 16;
    if (in(c, 0x24B6, 0x24CF)) return c + 26;
    if (in(c, 0xFF21, 0xFF3A)) return c + 32;
    return c;
}

bool isUpper(char32_t c) { return toLower(c) != c; }

bool isSpace(char32_t c) {
    return in(c, 0x09, 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 || in(c, 0x2000, 0x200A) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace murmelo::utf8
