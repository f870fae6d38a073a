#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace murmelo::utf8 {

// Decodes one scalar at `pos` and advances it; nothing for a malformed sequence (overlong
// forms, surrogates, values above U+10FFFF, a cut-off sequence).
std::optional<char32_t> next(std::string_view text, std::size_t& pos);
bool valid(std::string_view text);
// All scalars of valid UTF-8 text, or nothing.
std::optional<std::u32string> decode(std::string_view text);
void append(std::string& out, char32_t c);
std::string encode(std::u32string_view text);

// The first scalar of the simple lower-case mapping, for the cased scripts that alphabets
// are made of (Latin, Greek, Cyrillic, Armenian); every other character is its own.
char32_t toLower(char32_t c);
// The Unicode upper-case letters of the same scripts.
bool isUpper(char32_t c);
// The Unicode White_Space property.
bool isSpace(char32_t c);

}  // namespace murmelo::utf8
