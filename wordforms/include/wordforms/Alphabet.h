#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace murmelo {

// Letters of one language, each coded as one printable ASCII byte (33 + its index), so that
// the byte order of two keys is the alphabet order of their words.
class Alphabet {
public:
    static constexpr std::uint8_t FIRST_CODE = 33;
    static constexpr std::size_t MAX_LETTERS = 94;

    // The 33 lower-case Russian letters, ё last.
    static Alphabet defaultAlphabet();
    // The first character of every non-empty line, first occurrence wins; nothing when no
    // letter is left or more than 94 would be needed.
    static std::optional<Alphabet> parse(std::string_view text);

    // The key of a word (UTF-8): every character lower-cased and looked up; nothing for an
    // empty word, malformed UTF-8 or any character outside the alphabet.
    std::optional<std::string> encode(std::string_view word) const;
    std::optional<std::string> encode(std::u32string_view word) const;
    // The word of a key as UTF-8; bytes that are no code of this alphabet are skipped.
    std::string decode(std::string_view key) const;
    // The plain lookup, without lower-casing.
    std::optional<std::uint8_t> code(char32_t letter) const;
    std::string toText() const;

    const std::vector<char32_t>& letters() const { return letters_; }
    std::size_t size() const { return letters_.size(); }

private:
    bool add(char32_t letter);

    std::uint8_t lookup(char32_t letter) const;  // 0 when absent

    std::vector<char32_t> letters_;
    std::unordered_map<char32_t, std::uint8_t> map_;
    // The same lookup for the first code points (Latin to Cyrillic) without hashing.
    static constexpr char32_t DIRECT = 0x530;
    std::array<std::uint8_t, DIRECT> direct_{};
};

// Encoding with the default alphabet of the calling thread (built on first use in it).
namespace enc {
std::optional<std::string> encode(std::string_view word);
std::string decode(std::string_view key);
}  // namespace enc

}  // namespace murmelo
