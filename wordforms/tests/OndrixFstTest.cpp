#include "ondrix_fst.h"

#include "wordforms/Alphabet.h"
#include "wordforms/Fst.h"
#include "wordforms/Utf8.h"

#include "Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sys/stat.h>

namespace murmelo {
namespace {

// A set file of Russian word forms, encoded as the builder tool does.
std::string setFile(const test::ScratchDir& dir, std::vector<std::string> words) {
    std::vector<std::string> keys;
    for (const auto& w : words) keys.push_back(*enc::encode(w));
    std::sort(keys.begin(), keys.end());
    fst::Builder b(false);
    for (const auto& k : keys) b.add(k);
    return dir.write("ru_forms.fst", b.finish());
}

struct Handle {
    explicit Handle(const std::string& path) : h(ondrix_fst_open(path.c_str())) {}
    ~Handle() { ondrix_fst_close(h); }
    ondrix_fst* h;
};

bool contains(const Handle& f, std::string_view w) { return ondrix_fst_contains(f.h, w.data(), w.size()); }

struct Fuzzy {
    int32_t count;
    std::string text;
};

Fuzzy fuzzy(const Handle& f, std::string_view w, int32_t edits, int32_t limit, std::size_t outLen = 4096) {
    std::string out(outLen, '\x7F');
    const int32_t n = ondrix_fst_fuzzy(f.h, w.data(), w.size(), edits, limit, out.data(), outLen);
    const auto nul = out.find('\0');
    return {n, nul == std::string::npos ? out : out.substr(0, nul)};
}

class OndrixFst : public ::testing::Test {
protected:
    test::ScratchDir dir;
    Handle set{setFile(dir, {"ёлка", "кот", "кит", "код", "кота", "кто", "ток", "котёл", "скот"})};
};

TEST_F(OndrixFst, ContainsFoldsCaseButNotYo) {
    ASSERT_NE(set.h, nullptr);
    EXPECT_EQ(ondrix_fst_len(set.h), 9u);
    EXPECT_TRUE(contains(set, "ёлка"));
    EXPECT_TRUE(contains(set, "Ёлка"));
    EXPECT_TRUE(contains(set, "КОТ"));
    EXPECT_FALSE(contains(set, "елка"));
    EXPECT_FALSE(contains(set, ""));
    EXPECT_FALSE(contains(set, "ко"));
    // The length counts: a word given with its neighbour bytes is not the word.
    EXPECT_TRUE(ondrix_fst_contains(set.h, "котёл!", std::strlen("кот")));
    for (const char* bad : {"кот-", "кот1", "kот", "\xD0"}) EXPECT_FALSE(contains(set, bad)) << bad;
    EXPECT_FALSE(ondrix_fst_contains(set.h, nullptr, 3));
    EXPECT_FALSE(ondrix_fst_contains(nullptr, "кот", 6));
}

TEST_F(OndrixFst, FuzzyListsMatchesInAlphabetOrder) {
    EXPECT_EQ(fuzzy(set, "кот", 1, 0).text, "кит\nкод\nкот\nкота\nскот");
    EXPECT_EQ(fuzzy(set, "кот", 1, 0).count, 5);
    // Two edits also reach the swapped letters (a swap costs two) and the ё form.
    const auto two = fuzzy(set, "Кот", 2, 0);
    EXPECT_EQ(two.text, "кит\nкод\nкот\nкота\nкотёл\nкто\nскот\nток");
    EXPECT_EQ(two.count, 8);
}

TEST_F(OndrixFst, FuzzyDistanceIsClampedToOneOrTwo) {
    EXPECT_EQ(fuzzy(set, "кот", 0, 0).text, fuzzy(set, "кот", 1, 0).text);
    EXPECT_EQ(fuzzy(set, "кот", -7, 0).text, fuzzy(set, "кот", 1, 0).text);
    EXPECT_EQ(fuzzy(set, "кот", 5, 0).text, fuzzy(set, "кот", 2, 0).text);
}

TEST_F(OndrixFst, FuzzyLimitAndBufferStopTheListing) {
    EXPECT_EQ(fuzzy(set, "кот", 2, 3).text, "кит\nкод\nкот");
    EXPECT_EQ(fuzzy(set, "кот", 2, -1).count, 8);
    // One byte holds only the terminating NUL.
    const auto tiny = fuzzy(set, "кот", 1, 0, 1);
    EXPECT_EQ(tiny.count, 0);
    EXPECT_EQ(tiny.text, "");
    // "кит" (6 bytes) and its NUL fit in 7 bytes; the next word needs 7 more.
    EXPECT_EQ(fuzzy(set, "кот", 1, 0, 7).count, 1);
    EXPECT_EQ(fuzzy(set, "кот", 1, 0, 13).count, 1);
    EXPECT_EQ(fuzzy(set, "кот", 1, 0, 14).text, "кит\nкод");
    // The listing stops at the first word that does not fit, even if a later one would:
    // after кит, код, кот, кота (29 bytes) the long "котёл" needs 12 more with its NUL, the
    // short "кто" only 8.
    const auto stopped = fuzzy(set, "кот", 2, 0, 38);
    EXPECT_EQ(stopped.text, "кит\nкод\nкот\nкота");
    EXPECT_EQ(stopped.count, 4);
}

TEST_F(OndrixFst, FuzzyRefusalsLeaveTheBufferUntouched) {
    for (const char* bad : {"", "кот-", "к1т", "cat", "\xFF"}) {
        SCOPED_TRACE(bad);
        const auto r = fuzzy(set, bad, 1, 0, 8);
        EXPECT_EQ(r.count, -1);
        EXPECT_EQ(r.text, std::string(8, '\x7F'));
    }
    char out[8];
    EXPECT_EQ(ondrix_fst_fuzzy(nullptr, "кот", 6, 1, 0, out, sizeof out), -1);
    EXPECT_EQ(ondrix_fst_fuzzy(set.h, nullptr, 6, 1, 0, out, sizeof out), -1);
    EXPECT_EQ(ondrix_fst_fuzzy(set.h, "кот", 6, 1, 0, nullptr, sizeof out), -1);
    EXPECT_EQ(ondrix_fst_fuzzy(set.h, "кот", 6, 1, 0, out, 0), -1);
    std::string longWord;
    for (std::size_t i = 0; i <= fst::Fst::MAX_FUZZY_KEY; ++i) longWord += "а";
    EXPECT_EQ(fuzzy(set, longWord, 1, 0).count, -1);
    EXPECT_EQ(fuzzy(set, "нет", 1, 0).count, 0);
}

TEST(OndrixFstOpen, RefusesWhatIsNoSetAndIgnoresNull) {
    test::ScratchDir dir;
    EXPECT_EQ(ondrix_fst_open(nullptr), nullptr);
    EXPECT_EQ(ondrix_fst_open(dir.file("missing.fst").c_str()), nullptr);
    EXPECT_EQ(ondrix_fst_open(dir.path().c_str()), nullptr);
    EXPECT_EQ(ondrix_fst_open(dir.write("empty.fst", "").c_str()), nullptr);
    EXPECT_EQ(ondrix_fst_open(dir.write("text.fst", "кот\nкит\n").c_str()), nullptr);
    EXPECT_EQ(ondrix_fst_open("/tmp/\xFF\xFE.fst"), nullptr);
    const auto fifo = dir.file("fifo.fst");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ondrix_fst_open(fifo.c_str()), nullptr);
    EXPECT_EQ(ondrix_fst_len(nullptr), 0u);
    ondrix_fst_close(nullptr);
}

TEST(OndrixFstOpen, TheMappingOutlivesTheFileName) {
    test::ScratchDir dir;
    const auto path = setFile(dir, {"дом", "дым"});
    Handle h(path);
    std::filesystem::remove(path);
    EXPECT_TRUE(contains(h, "дым"));
    EXPECT_EQ(ondrix_fst_len(h.h), 2u);
}

// Seeded random files and words through the C interface: whatever the bytes, open either
// refuses or gives a handle whose answers stay within the buffer and the file.
TEST(OndrixFstFuzz, RandomFilesAndWords) {
    test::ScratchDir dir;
    std::mt19937 rng(31337);
    std::vector<std::string> words;
    const std::u32string letters = U"абвгдеёжзклмнопрст";
    std::uniform_int_distribution<int> len(1, 8), letter(0, int(letters.size()) - 1), byte(0, 255);
    for (int i = 0; i < 500; ++i) {
        std::u32string w;
        for (int j = len(rng); j > 0; --j) w.push_back(letters[letter(rng)]);
        words.push_back(utf8::encode(w));
    }
    const auto goodPath = setFile(dir, words);
    std::ifstream in(goodPath, std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), {});
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        std::string bad = good;
        const int mode = round % 3;
        if (mode == 0) {
            std::uniform_int_distribution<std::size_t> at(0, bad.size() - 1);
            for (int i = 0; i < 4; ++i) bad[at(rng)] = char(byte(rng));
        } else if (mode == 1) {
            std::uniform_int_distribution<std::size_t> cut(0, bad.size() - 1);
            bad.resize(cut(rng));
        } else {
            for (std::size_t i = fst::Fst::HEADER_SIZE; i < bad.size(); ++i) bad[i] = char(byte(rng));
        }
        Handle h(dir.write("bad.fst", bad));
        if (!h.h) continue;
        ++opened;
        for (int q = 0; q < 20; ++q) {
            std::string word = words[std::size_t(rng()) % words.size()];
            if (q % 5 == 0) word[std::size_t(rng()) % word.size()] = char(byte(rng));
            (void)contains(h, word);
            const std::size_t outLen = 1 + std::size_t(rng()) % 64;
            std::string out(outLen + 16, '\x7F');
            const int32_t n = ondrix_fst_fuzzy(h.h, word.data(), word.size(), 2, 0, out.data(), outLen);
            if (n >= 0) {
                EXPECT_LT(out.find('\0'), outLen);
                EXPECT_EQ(out.substr(outLen), std::string(16, '\x7F'));
            }
        }
    }
    EXPECT_GT(opened, 0);
}

}  // namespace
}  // namespace murmelo
