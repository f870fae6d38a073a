#include "wordforms/Fst.h"

#include "Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>

namespace murmelo::fst {
namespace {

std::string build(const std::map<std::string, std::uint64_t>& keys, bool withValues) {
    Builder b(withValues);
    for (const auto& [k, v] : keys) EXPECT_TRUE(b.add(k, v));
    return b.finish();
}

Fst load(const std::string& bytes) {
    auto f = Fst::fromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_TRUE(f);
    return *f;
}

// The file bytes with the automaton read from them; never copied, so the bytes stay put.
struct Owned {
    explicit Owned(std::string b) : bytes(std::move(b)), fst(load(bytes)) {}
    Owned(const Owned&) = delete;
    std::string bytes;
    Fst fst;
};

unsigned levenshtein(std::string_view a, std::string_view b) {
    std::vector<unsigned> row(b.size() + 1), next(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = unsigned(j);
    for (std::size_t i = 0; i < a.size(); ++i) {
        next[0] = unsigned(i + 1);
        for (std::size_t j = 0; j < b.size(); ++j)
            next[j + 1] = std::min({row[j] + (a[i] != b[j]), row[j + 1] + 1, next[j] + 1});
        row.swap(next);
    }
    return row.back();
}

std::vector<std::string> fuzzyAll(const Fst& f, std::string_view key, int edits) {
    std::vector<std::string> out;
    EXPECT_TRUE(f.fuzzy(key, edits, [&](std::string_view k) {
        out.emplace_back(k);
        return true;
    }));
    return out;
}

// Random words over a small alphabet, so that they share prefixes and suffixes the way
// inflected forms do.
std::map<std::string, std::uint64_t> randomKeys(std::mt19937& rng, std::size_t count, char first, int letters) {
    std::map<std::string, std::uint64_t> keys;
    std::uniform_int_distribution<int> len(1, 9), letter(0, letters - 1);
    std::uniform_int_distribution<std::uint64_t> value(0, 1u << 20);
    while (keys.size() < count) {
        std::string k;
        for (int i = len(rng); i > 0; --i) k.push_back(char(first + letter(rng)));
        keys.emplace(k, value(rng));
    }
    return keys;
}

TEST(Fst, AnswersLikeTheSetItWasBuiltFrom) {
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        // The last rounds use the whole byte range, which the one-byte node form cannot hold.
        const bool wide = round >= 4;
        const auto keys = randomKeys(rng, 1500, wide ? char(0x70) : '!', wide ? 40 : 6);
        const bool withValues = round % 2 == 1;
        const auto bytes = build(keys, withValues);
        const Fst f = load(bytes);  // `bytes` outlives it
        EXPECT_EQ(f.len(), keys.size());
        EXPECT_EQ(f.isMap(), withValues);
        std::uniform_int_distribution<int> len(0, 10), letter(0, wide ? 40 : 7);
        for (int probe = 0; probe < 3000; ++probe) {
            std::string k;
            for (int i = len(rng); i > 0; --i) k.push_back(char((wide ? 0x70 : '!') + letter(rng)));
            const auto it = keys.find(k);
            ASSERT_EQ(f.contains(k), it != keys.end()) << k;
            if (withValues) {
                ASSERT_EQ(f.get(k), it == keys.end() ? std::nullopt : std::optional(it->second)) << k;
            }
        }
        for (const auto& [k, v] : keys) {
            ASSERT_TRUE(f.contains(k));
            if (withValues) {
                ASSERT_EQ(f.get(k), v);
            }
        }
    }
}

TEST(Fst, FuzzyFindsExactlyTheKeysWithinTheDistanceInKeyOrder) {
    std::mt19937 rng(11);
    const auto keys = randomKeys(rng, 3000, '!', 5);
    const Owned owned(build(keys, false));
    const Fst& f = owned.fst;
    std::uniform_int_distribution<int> len(0, 9), letter(0, 5);
    for (int probe = 0; probe < 200; ++probe) {
        std::string q;
        for (int i = len(rng); i > 0; --i) q.push_back(char('!' + letter(rng)));
        for (int edits : {0, 1, 2}) {
            std::vector<std::string> expected;
            for (const auto& [k, v] : keys)
                if (levenshtein(k, q) <= unsigned(edits)) expected.push_back(k);
            ASSERT_EQ(fuzzyAll(f, q, edits), expected) << q << " at " << edits;
        }
    }
}

TEST(Fst, FuzzyStopsWhenTheVisitorSaysSoAndRefusesWhatItCannotSearch) {
    const Owned owned(build({{"!!", 0}, {"!\"", 0}, {"\"!", 0}}, false));
    const Fst& f = owned.fst;
    int seen = 0;
    EXPECT_TRUE(f.fuzzy("!!", 1, [&](std::string_view) { return ++seen < 2; }));
    EXPECT_EQ(seen, 2);
    EXPECT_FALSE(f.fuzzy("!!", 3, [](std::string_view) { return true; }));
    EXPECT_FALSE(f.fuzzy(std::string(Fst::MAX_FUZZY_KEY + 1, '!'), 1, [](std::string_view) { return true; }));
    EXPECT_TRUE(f.fuzzy(std::string(Fst::MAX_FUZZY_KEY, '!'), 1, [](std::string_view) { return true; }));
}

TEST(Fst, WithPrefixVisitsExactlyTheKeysThatBeginWithItInKeyOrder) {
    std::mt19937 rng(13);
    for (const bool withValues : {false, true}) {
        const auto keys = randomKeys(rng, 2000, '!', 4);
        const Owned owned(build(keys, withValues));
        std::uniform_int_distribution<int> len(0, 4), letter(0, 4);
        for (int probe = 0; probe < 300; ++probe) {
            std::string q;
            for (int i = len(rng); i > 0; --i) q.push_back(char('!' + letter(rng)));
            std::vector<std::string> expected, seen;
            for (const auto& [k, v] : keys)
                if (k.compare(0, q.size(), q) == 0) expected.push_back(k);
            owned.fst.withPrefix(q, [&](std::string_view k) {
                seen.emplace_back(k);
                return true;
            });
            ASSERT_EQ(seen, expected) << q;
            if (expected.size() > 1) {
                int n = 0;
                owned.fst.withPrefix(q, [&](std::string_view) { return ++n < 2; });
                EXPECT_EQ(n, 2);
            }
        }
    }
}

TEST(Fst, EmptySetsAndTheEmptyKey) {
    const Owned ownedNone(build({}, false));
    const Fst& none = ownedNone.fst;
    EXPECT_EQ(none.len(), 0u);
    EXPECT_FALSE(none.contains(""));
    EXPECT_TRUE(fuzzyAll(none, "!", 2).empty());

    const Owned ownedEmpty(build({{"", 5}}, true));
    const Fst& onlyEmpty = ownedEmpty.fst;
    EXPECT_TRUE(onlyEmpty.contains(""));
    EXPECT_EQ(onlyEmpty.get(""), 5u);
    EXPECT_EQ(fuzzyAll(onlyEmpty, "!", 1), std::vector<std::string>{""});
}

TEST(Fst, BuilderRefusesKeysOutOfOrder) {
    Builder b(false);
    EXPECT_TRUE(b.add("b"));
    EXPECT_FALSE(b.add("b"));
    EXPECT_FALSE(b.add("a"));
    EXPECT_TRUE(b.add("ba"));
    const Owned owned(b.finish());
    const Fst& f = owned.fst;
    EXPECT_EQ(f.len(), 2u);
}

TEST(Fst, OpenRefusesWhatIsNotAWholeSetFile) {
    test::ScratchDir dir;
    const std::string good = build({{"!\"#", 1}, {"!\"$", 2}}, true);
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string wrongSize = good;
    wrongSize[32] ^= 1;
    std::string badFlags = good;
    badFlags[12] = 4;
    const Case cases[] = {
        {"empty", ""},
        {"text", "абв\nгде\n"},
        {"header only", good.substr(0, Fst::HEADER_SIZE)},
        {"cut off", good.substr(0, good.size() - 1)},
        {"appended", good + "x"},
        {"size field", wrongSize},
        {"flags", badFlags},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(openFile(dir.write("f.fst", c.bytes).c_str(), &error));
        EXPECT_FALSE(error.empty());
    }
    bool openFailed = false;
    std::string error;
    EXPECT_FALSE(openFile(dir.file("missing.fst").c_str(), &error, &openFailed));
    EXPECT_TRUE(openFailed);
    EXPECT_FALSE(openFile(dir.path().c_str(), &error, &openFailed));
    EXPECT_FALSE(openFailed);
    const auto ok = openFile(dir.write("ok.fst", good).c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->fst.get("!\"$"), 2u);
}

// Damaged files: whatever a flipped, cut or random byte does to the answers, a query must
// stay inside the bytes and end. Each case gets its own exactly-sized heap copy, so that
// AddressSanitizer sees any read past it.
TEST(Fst, DamagedBytesNeverLeadOutsideTheFile) {
    std::mt19937 rng(2024);
    const auto keys = randomKeys(rng, 400, '!', 8);
    for (const bool withValues : {false, true}) {
        const std::string good = build(keys, withValues);
        std::uniform_int_distribution<std::size_t> at(Fst::HEADER_SIZE, good.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255), flips(1, 8);
        for (int round = 0; round < 400; ++round) {
            std::string bad = good;
            for (int i = flips(rng); i > 0; --i) bad[at(rng)] = char(byte(rng));
            if (round % 4 == 0) {
                // Random body with a valid header: the worst case for the node reader.
                for (std::size_t i = Fst::HEADER_SIZE; i < bad.size(); ++i) bad[i] = char(byte(rng));
            }
            auto copy = std::make_unique<std::uint8_t[]>(bad.size());
            std::copy(bad.begin(), bad.end(), copy.get());
            const auto f = Fst::fromBytes(copy.get(), bad.size());
            if (!f) continue;
            for (const auto& [k, v] : keys) {
                (void)f->contains(k);
                (void)f->get(k);
            }
            for (const char* q : {"", "!", "!\""}) {
                f->withPrefix(q, [&](std::string_view found) { return found.size() < 64; });
            }
            for (const char* q : {"!", "!!\"#", "$%&'(", "!!!!!!!!"}) {
                std::size_t n = 0;
                f->fuzzy(q, 2, [&](std::string_view found) {
                    EXPECT_LE(found.size(), std::strlen(q) + 2);
                    return ++n < 100000;
                });
            }
        }
    }
}

}  // namespace
}  // namespace murmelo::fst
