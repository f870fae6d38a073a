#pragma once
#include "platform/Service.h"

#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// What the language guess asks of the Russian word-form lexicon (the layout models own it).
// The library that opens the lexicon installs its answers; until then the lexicon counts as
// not open, and the first question says so in the log.
struct RuFormsLookup {
    static RuFormsLookup& shared() { return sharedService<RuFormsLookup>(); }
    RuFormsLookup();

    std::function<bool()> isReady;
    // Exactly these UTF-8 bytes, no folding; callers lower-case first.
    std::function<bool(const QString& word)> contains;
};

// Whether a text is Russian, Cyrillic but not Russian, Latin, in another script, or
// undecided, from its letters, a few Bulgarian marks and, when it is open, the Russian
// word-form lexicon.
namespace LangGuess {

enum class Verdict {
    ru,
    cyrillicNotRu,
    latin,
    other,
    unknown,
};

QString rawValue(Verdict verdict);

inline constexpr int MIN_LETTERS = 3;
inline constexpr double SCRIPT_SHARE = 0.8;
inline constexpr int MIN_WORDS = 5;
inline constexpr double RU_SHARE_HIGH = 2.0 / 3.0;
inline constexpr double RU_SHARE_LOW = 0.25;

struct Result {
    Verdict verdict = Verdict::unknown;
    // Share of lexicon-known Cyrillic words when the lexicon test ran, else -1.0.
    double ruShare = -1.0;
};

// `dictionaryReady` absent asks the lexicon whether it is open.
Result classify(const QString& text, std::optional<bool> dictionaryReady = std::nullopt);

}  // namespace LangGuess
}  // namespace murmelo
