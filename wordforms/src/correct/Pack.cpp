#include "wordforms/Pack.h"

#include "wordforms/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

namespace murmelo {

namespace {

// Letters with their base letter; every other letter is its own base.
constexpr std::pair<char32_t, char32_t> FOLD_BASE[] = {
    {U'ё', U'е'}, {U'á', U'a'}, {U'à', U'a'}, {U'â', U'a'}, {U'ä', U'a'}, {U'ã', U'a'}, {U'å', U'a'},
    {U'é', U'e'}, {U'è', U'e'}, {U'ê', U'e'}, {U'ë', U'e'}, {U'í', U'i'}, {U'ì', U'i'}, {U'î', U'i'},
    {U'ï', U'i'}, {U'ó', U'o'}, {U'ò', U'o'}, {U'ô', U'o'}, {U'ö', U'o'}, {U'õ', U'o'}, {U'ú', U'u'},
    {U'ù', U'u'}, {U'û', U'u'}, {U'ü', U'u'}, {U'ñ', U'n'}, {U'ç', U'c'}, {U'ý', U'y'},
};

constexpr std::size_t ONE_EDIT_LIMIT = 64;
constexpr std::size_t TWO_EDIT_LIMIT = 128;
constexpr float INF = std::numeric_limits<float>::infinity();

// The whole file as text; nothing (and the system's reason) when it cannot be read.
std::optional<std::string> readText(const std::string& path, std::string& error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno ? errno : ENOENT);
        return std::nullopt;
    }
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) {
        error = std::strerror(errno ? errno : EIO);
        return std::nullopt;
    }
    return std::move(s).str();
}

}  // namespace

Judgement Judgement::fix(std::string word, float margin, float cost, bool scored) {
    Judgement j;
    j.kind = Kind::Fix;
    j.word = std::move(word);
    j.margin = margin;
    j.cost = cost;
    j.scored = scored;
    return j;
}

Judgement Judgement::skip(std::string reason) {
    Judgement j;
    j.reason = std::move(reason);
    return j;
}

Pack::Opened Pack::open(const std::string& dir) {
    Opened result;
    const auto path = [&](const char* name) { return dir + "/" + name; };

    std::string error;
    const auto alphabetText = readText(path("alphabet.txt"), error);
    if (!alphabetText) {
        result.error = "нет alphabet.txt: " + error;
        return result;
    }
    if (!utf8::valid(*alphabetText)) {
        result.error = "нет alphabet.txt: текст не в UTF-8";
        return result;
    }
    auto alphabet = Alphabet::parse(*alphabetText);
    if (!alphabet) {
        result.error = "алфавит пуст или не влезает в байт";
        return result;
    }

    bool openFailed = false;
    auto forms = fst::openFile(path("forms.fst").c_str(), &error, &openFailed);
    if (!forms) {
        result.error = openFailed ? "нет forms.fst: " + error : error;
        return result;
    }

    Pack pack(std::move(*alphabet), std::move(*forms));
    std::string ignored;
    const auto channelText = readText(path("channel.tsv"), ignored);
    pack.channel = channelText ? Channel::parse(*channelText, pack.alphabet) : Channel::prior(pack.alphabet.size());

    auto freq = fst::openFile(path("freq.fst").c_str(), &ignored);
    if (freq && freq->fst.isMap()) pack.freq = std::move(*freq);

    const auto& letters = pack.alphabet.letters();
    pack.fold.resize(letters.size());
    for (std::size_t i = 0; i < letters.size(); ++i) {
        pack.fold[i] = static_cast<std::uint8_t>(Alphabet::FIRST_CODE + i);
        for (const auto& [letter, base] : FOLD_BASE) {
            if (letter != letters[i]) continue;
            if (const auto code = pack.alphabet.code(base)) pack.fold[i] = *code;
        }
    }
    result.pack = std::move(pack);
    return result;
}

std::vector<std::string> Pack::candidates(std::string_view key, int edits, std::size_t limit) const {
    std::vector<std::string> out;
    const std::size_t letters = alphabet.size();
    forms.fst.fuzzy(key, edits, [&](std::string_view found) {
        if (out.size() >= limit) return false;
        // A key that is no word of this alphabet (a forms file of another alphabet) would
        // decode into a different word: it is no candidate.
        const bool ours = std::all_of(found.begin(), found.end(), [&](char ch) {
            const auto b = static_cast<unsigned char>(ch);
            return b >= Alphabet::FIRST_CODE && std::size_t(b - Alphabet::FIRST_CODE) < letters;
        });
        if (ours && !found.empty()) out.emplace_back(found);
        return out.size() < limit;
    });
    return out;
}

Judgement Pack::judge(std::string_view word, const Thresholds& t) const {
    const auto key = alphabet.encode(word);
    if (!key) return Judgement::skip("чужой алфавит");
    if (userWords.count(*key)) return Judgement::skip("своё слово пользователя");
    if (forms.fst.contains(*key)) return Judgement::skip("слово известно языку");
    if (key->size() < t.minLen) return Judgement::skip("слово слишком короткое");

    auto list = candidates(*key, 1, ONE_EDIT_LIMIT);
    if (list.empty() && key->size() >= t.twoEditMinLen) list = candidates(*key, 2, TWO_EDIT_LIMIT);
    if (list.empty()) return Judgement::skip("похожих слов нет");

    const auto foldOf = [&](char ch) { return fold[static_cast<unsigned char>(ch) - Alphabet::FIRST_CODE]; };
    std::vector<const std::string*> variants;
    for (const auto& c : list) {
        if (c.size() != key->size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < c.size() && same; ++i)
            same = c[i] == (*key)[i] || foldOf(c[i]) == foldOf((*key)[i]);
        if (same) variants.push_back(&c);
    }
    if (variants.size() == 1 && !userWords.count(*variants[0]))
        return Judgement::fix(alphabet.decode(*variants[0]), INF, 0.0f, false);

    struct Scored {
        const std::string* key;
        float cost;
        float score;
    };
    std::vector<Scored> scored;
    for (const auto& c : list) {
        if (userWords.count(c)) continue;
        const std::size_t shorter = std::min(c.size(), key->size());
        if (shorter >= 4 && c.compare(0, shorter - 1, *key, 0, shorter - 1) == 0) continue;
        const float cost = channel.cost(c, *key);
        float frequency = freqFloor;
        if (freq)
            if (const auto v = freq->fst.get(c)) frequency = -static_cast<float>(*v) / 1000.0f;
        scored.push_back({&c, cost, frequency - cost});
    }
    if (scored.empty()) return Judgement::skip("кандидаты отпали: своя лексика или разница в окончании");

    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) { return a.score > b.score; });
    const Scored& best = scored.front();
    if (best.cost > t.maxCost) return Judgement::skip("канал слишком дорог");
    const float margin = scored.size() == 1 ? INF : best.score - scored[1].score;
    // A margin that is not a number (two infinite scores) is no lead at all.
    if (std::isnan(margin) || margin < t.minMargin) return Judgement::skip("два кандидата рядом");
    return Judgement::fix(alphabet.decode(*best.key), margin, best.cost, true);
}

Judgement Pack::judgeCased(std::string_view word, bool sentenceStart, const Thresholds& t) const {
    if (const auto chars = utf8::decode(word); chars && !chars->empty()) {
        if (std::any_of(chars->begin() + 1, chars->end(), utf8::isUpper)) return Judgement::skip("аббревиатура");
        if (utf8::isUpper(chars->front()) && !sentenceStart) return Judgement::skip("имя собственное");
    }
    return judge(word, t);
}

}  // namespace murmelo
