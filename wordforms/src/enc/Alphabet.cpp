#include "wordforms/Alphabet.h"

#include "wordforms/Utf8.h"

namespace murmelo {

namespace {
constexpr std::u32string_view DEFAULT_LETTERS = U"абвгдежзийклмнопрстуфхцчшщъыьэюяё";
}

Alphabet Alphabet::defaultAlphabet() {
    Alphabet a;
    for (char32_t c : DEFAULT_LETTERS) a.add(c);
    return a;
}

bool Alphabet::add(char32_t letter) {
    if (map_.count(letter)) return true;
    if (letters_.size() >= MAX_LETTERS) return false;
    const auto code = static_cast<std::uint8_t>(FIRST_CODE + letters_.size());
    map_.emplace(letter, code);
    if (letter < DIRECT) direct_[letter] = code;
    letters_.push_back(letter);
    return true;
}

std::optional<Alphabet> Alphabet::parse(std::string_view text) {
    Alphabet a;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool hasFeed = end != std::string_view::npos;
        if (!hasFeed) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (hasFeed && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = hasFeed ? end + 1 : text.size();
        if (line.empty()) continue;
        std::size_t pos = 0;
        const auto first = utf8::next(line, pos);
        if (!first) return std::nullopt;
        if (!a.add(*first)) return std::nullopt;
    }
    if (a.letters_.empty()) return std::nullopt;
    return a;
}

std::uint8_t Alphabet::lookup(char32_t letter) const {
    if (letter < DIRECT) return direct_[letter];
    const auto it = map_.find(letter);
    return it == map_.end() ? 0 : it->second;
}

std::optional<std::string> Alphabet::encode(std::u32string_view word) const {
    if (word.empty()) return std::nullopt;
    std::string key;
    key.reserve(word.size());
    for (char32_t c : word) {
        const auto code = lookup(utf8::toLower(c));
        if (!code) return std::nullopt;
        key.push_back(static_cast<char>(code));
    }
    return key;
}

std::optional<std::string> Alphabet::encode(std::string_view word) const {
    if (word.empty()) return std::nullopt;
    std::string key;
    key.reserve(word.size());
    std::size_t pos = 0;
    while (pos < word.size()) {
        const auto c = utf8::next(word, pos);
        if (!c) return std::nullopt;
        const auto code = lookup(utf8::toLower(*c));
        if (!code) return std::nullopt;
        key.push_back(static_cast<char>(code));
    }
    return key;
}

std::string Alphabet::decode(std::string_view key) const {
    std::string word;
    word.reserve(key.size() * 2);
    for (char ch : key) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= FIRST_CODE && std::size_t(b - FIRST_CODE) < letters_.size())
            utf8::append(word, letters_[b - FIRST_CODE]);
    }
    return word;
}

std::optional<std::uint8_t> Alphabet::code(char32_t letter) const {
    const auto code = lookup(letter);
    if (!code) return std::nullopt;
    return code;
}

std::string Alphabet::toText() const {
    std::string text;
    for (char32_t c : letters_) {
        utf8::append(text, c);
        text.push_back('\n');
    }
    return text;
}

namespace enc {

std::optional<std::string> encode(std::string_view word) {
    thread_local const Alphabet alphabet = Alphabet::defaultAlphabet();
    return alphabet.encode(word);
}

std::string decode(std::string_view key) {
    thread_local const Alphabet alphabet = Alphabet::defaultAlphabet();
    return alphabet.decode(key);
}

}  // namespace enc
}  // namespace murmelo
