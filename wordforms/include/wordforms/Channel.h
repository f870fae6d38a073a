#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

namespace murmelo {

class Alphabet;

// Costs of a noisy typing channel, indexed by letter index (code − 33).
struct Channel {
    std::vector<float> sub;  // n × n: row = letter of the correct word, column = typed letter
    std::vector<float> del;  // a letter of the correct word missing from what was typed
    std::vector<float> ins;  // an extra typed letter
    std::vector<float> eq;   // a letter typed unchanged
    std::size_t n = 0;

    static Channel prior(std::size_t n);
    // The prior with every well-formed line of "channel.tsv" applied over it; never fails.
    static Channel parse(std::string_view text, const Alphabet& alphabet);

    float subCost(std::size_t a, std::size_t b) const { return sub[a * n + b]; }
    // Weighted edit distance from a correct word's key to a typed key. A key holding a byte
    // that is no letter of the channel costs infinity.
    float cost(std::string_view word, std::string_view typed) const;
};

}  // namespace murmelo
