#include "wordforms/Channel.h"

#include "wordforms/Alphabet.h"
#include "wordforms/Utf8.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace murmelo {

namespace {

constexpr float PRIOR_SUB = 3.0f;
constexpr float PRIOR_DEL = 3.6f;
constexpr float PRIOR_INS = 3.6f;
constexpr float PRIOR_EQ = 0.01f;

std::vector<std::u32string> fields(std::u32string_view line) {
    std::vector<std::u32string> out;
    std::u32string cur;
    for (char32_t c : line) {
        if (utf8::isSpace(c)) {
            if (!cur.empty()) out.push_back(std::move(cur)), cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

// A decimal number; infinities and NaN are refused, since a cost must order.
std::optional<float> number(const std::u32string& field) {
    std::string text = utf8::encode(field);
    std::string_view view(text);
    if (!view.empty() && view.front() == '+') view.remove_prefix(1);
    float value = 0;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (ec != std::errc() || end != view.data() + view.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// A NaN operand never wins.
float least(float a, float b) {
    if (std::isnan(a)) return b;
    if (std::isnan(b)) return a;
    return b < a ? b : a;
}

}  // namespace

Channel Channel::prior(std::size_t n) {
    Channel c;
    c.n = n;
    c.sub.assign(n * n, PRIOR_SUB);
    c.del.assign(n, PRIOR_DEL);
    c.ins.assign(n, PRIOR_INS);
    c.eq.assign(n, PRIOR_EQ);
    return c;
}

Channel Channel::parse(std::string_view text, const Alphabet& alphabet) {
    Channel c = prior(alphabet.size());
    const auto index = [&](const std::u32string& field) -> std::optional<std::size_t> {
        const auto code = alphabet.code(field.front());
        if (!code) return std::nullopt;
        return std::size_t(*code - Alphabet::FIRST_CODE);
    };
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        // A line that is not UTF-8 is skipped like any other bad line.
        const auto line = utf8::decode(raw);
        if (!line) continue;
        const auto f = fields(*line);
        if (f.size() < 3) continue;
        const auto cost = number(f.back());
        if (!cost) continue;
        const auto a = index(f[1]);
        if (!a) continue;
        if (f[0] == U"eq") {
            c.eq[*a] = *cost;
        } else if (f[0] == U"del") {
            c.del[*a] = *cost;
        } else if (f[0] == U"ins") {
            c.ins[*a] = *cost;
        } else if (f[0] == U"sub") {
            if (f.size() < 4) continue;
            const auto b = index(f[2]);
            if (!b) continue;
            c.sub[*a * c.n + *b] = *cost;
        }
    }
    return c;
}

float Channel::cost(std::string_view word, std::string_view typed) const {
    const auto letter = [&](char ch) { return std::size_t(static_cast<unsigned char>(ch)) - Alphabet::FIRST_CODE; };
    for (std::string_view key : {word, typed})
        for (char ch : key)
            if (static_cast<unsigned char>(ch) < Alphabet::FIRST_CODE || letter(ch) >= n)
                return std::numeric_limits<float>::infinity();
    std::vector<float> row(typed.size() + 1, 0.0f), next(typed.size() + 1);
    for (std::size_t j = 0; j < typed.size(); ++j) row[j + 1] = row[j] + ins[letter(typed[j])];
    for (char wc : word) {
        const std::size_t x = letter(wc);
        next[0] = row[0] + del[x];
        for (std::size_t j = 0; j < typed.size(); ++j) {
            const std::size_t y = letter(typed[j]);
            float best = row[j] + (x == y ? eq[x] : subCost(x, y));
            best = least(best, row[j + 1] + del[x]);
            best = least(best, next[j] + ins[y]);
            next[j + 1] = best;
        }
        row.swap(next);
    }
    return row.back();
}

}  // namespace murmelo
