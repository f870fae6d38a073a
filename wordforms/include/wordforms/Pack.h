#pragma once
#include "wordforms/Alphabet.h"
#include "wordforms/Channel.h"
#include "wordforms/Fst.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace murmelo {

// The caller's limits for one judgement.
struct Thresholds {
    std::size_t minLen = 0;
    std::size_t twoEditMinLen = 0;
    float minMargin = 0;
    float maxCost = 0;
};

struct Judgement {
    enum class Kind { Fix, Skip };
    Kind kind = Kind::Skip;
    std::string word;  // Fix: the proposal, lower case
    float margin = 0;  // Fix: score lead over the runner-up
    float cost = 0;    // Fix: channel cost of the proposal
    bool scored = false;
    std::string reason;  // Skip: one of the fixed texts

    static Judgement fix(std::string word, float margin, float cost, bool scored);
    static Judgement skip(std::string reason);
    bool isFix() const { return kind == Kind::Fix; }
};

// One language's word corrector: its word forms, their frequencies and a typing channel,
// read-only after loading.
class Pack {
public:
    struct Opened;
    // Reads "alphabet.txt", "forms.fst", "channel.tsv" and "freq.fst" from `dir`.
    static Opened open(const std::string& dir);

    // Keys of the forms within `edits` of `key`, in key order, at most `limit` of them.
    std::vector<std::string> candidates(std::string_view key, int edits, std::size_t limit) const;
    Judgement judge(std::string_view word, const Thresholds& thresholds) const;
    // Screens abbreviations and names before judging.
    Judgement judgeCased(std::string_view word, bool sentenceStart, const Thresholds& thresholds) const;

    Alphabet alphabet;
    Channel channel;
    std::vector<std::uint8_t> fold;
    fst::FstFile forms;
    std::optional<fst::FstFile> freq;
    std::set<std::string> userWords;  // keys; nothing in the pack fills it
    float freqFloor = -20.0f;

private:
    Pack(Alphabet a, fst::FstFile f) : alphabet(std::move(a)), forms(std::move(f)) {}
};

struct Pack::Opened {
    std::optional<Pack> pack;
    std::string error;
};

}  // namespace murmelo
