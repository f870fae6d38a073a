#include "wordforms/Pack.h"

#include "Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace murmelo {
namespace {

const std::string RUSSIAN = "а\nб\nв\nг\nд\nе\nж\nз\nи\nй\nк\nл\nм\nн\nо\nп\nр\nс\nт\nу\nф\nх\nц\nч\nш\nщ\nъ\nы\nь\nэ\nю\nя\nё\n";

Thresholds loose() { return Thresholds{3, 5, 0.0f, 100.0f}; }

// A pack folder: the alphabet, the forms, and optionally the channel and frequencies.
class PackDir {
public:
    explicit PackDir(std::vector<std::string> forms, std::map<std::string, std::uint64_t> freq = {},
                     std::optional<std::string> channel = std::nullopt) {
        dir_.write("alphabet.txt", RUSSIAN);
        const auto alphabet = *Alphabet::parse(RUSSIAN);
        std::map<std::string, std::uint64_t> keys;
        for (const auto& w : forms) keys.emplace(*alphabet.encode(w), 0);
        dir_.write("forms.fst", build(keys, false));
        if (!freq.empty()) {
            std::map<std::string, std::uint64_t> values;
            for (const auto& [w, v] : freq) values.emplace(*alphabet.encode(w), v);
            dir_.write("freq.fst", build(values, true));
        }
        if (channel) dir_.write("channel.tsv", *channel);
    }
    Pack open() const {
        auto opened = Pack::open(dir_.path());
        EXPECT_TRUE(opened.pack) << opened.error;
        return std::move(*opened.pack);
    }
    const test::ScratchDir& dir() const { return dir_; }

    static std::string build(const std::map<std::string, std::uint64_t>& keys, bool values) {
        fst::Builder b(values);
        for (const auto& [k, v] : keys) b.add(k, v);
        return b.finish();
    }

private:
    test::ScratchDir dir_;
};

void expectSkip(const Judgement& j, const std::string& reason) {
    EXPECT_FALSE(j.isFix()) << j.word;
    EXPECT_EQ(j.reason, reason);
}

TEST(Pack, YoVariantIsProposedWithoutScoring) {
    const Pack pack = PackDir({"ещё", "еда"}).open();
    const Thresholds strict{3, 5, 1000.0f, 0.0f};
    const auto j = pack.judge("еще", strict);
    ASSERT_TRUE(j.isFix()) << j.reason;
    EXPECT_EQ(j.word, "ещё");
    EXPECT_TRUE(std::isinf(j.margin));
    EXPECT_EQ(j.cost, 0.0f);
    EXPECT_FALSE(j.scored);
    // The same word given in capitals is folded before the search.
    EXPECT_EQ(pack.judge("ЕЩЕ", strict).word, "ещё");
}

TEST(Pack, TwoLetterVariantsAreScoredAndEqualScoresKeepAlphabetOrder) {
    const Pack pack = PackDir({"ёле", "елё"}).open();
    const auto tie = pack.judge("еле", loose());
    ASSERT_TRUE(tie.isFix()) << tie.reason;
    EXPECT_EQ(tie.word, "елё");  // е sorts before ё
    EXPECT_TRUE(tie.scored);
    EXPECT_EQ(tie.margin, 0.0f);
    expectSkip(pack.judge("еле", Thresholds{3, 5, 0.01f, 100.0f}), "два кандидата рядом");
}

TEST(Pack, UserWordsAreNeitherJudgedNorProposed) {
    Pack pack = PackDir({"ещё", "кот", "кит"}).open();
    pack.userWords.insert(*pack.alphabet.encode("кат"));
    expectSkip(pack.judge("Кат", loose()), "своё слово пользователя");
    pack.userWords.insert(*pack.alphabet.encode("ещё"));
    // The only letter variant is a user word: no shortcut, and scoring drops it too.
    expectSkip(pack.judge("еще", loose()), "кандидаты отпали: своя лексика или разница в окончании");
}

TEST(Pack, JudgementTable) {
    const Pack pack = PackDir({"стола", "столу", "кот", "молоко", "телефон"}).open();
    struct Case {
        const char* name;
        const char* word;
        Thresholds t;
        const char* reason;  // null: a Fix of `fix`
        const char* fix;
    };
    const Case cases[] = {
        {"foreign letters", "стоl", loose(), "чужой алфавит", nullptr},
        {"empty word", "", loose(), "чужой алфавит", nullptr},
        {"known form", "Кот", loose(), "слово известно языку", nullptr},
        {"too short", "ко", loose(), "слово слишком короткое", nullptr},
        {"nothing near", "жжжжж", loose(), "похожих слов нет", nullptr},
        {"ending only", "столх", loose(), "кандидаты отпали: своя лексика или разница в окончании", nullptr},
        {"three letters keep the ending rule off", "кох", loose(), nullptr, "кот"},
        {"channel too dear", "кох", Thresholds{3, 5, 0.0f, 3.0f}, "канал слишком дорог", nullptr},
        {"two edits for long words", "тлефн", loose(), nullptr, "телефон"},
        {"no two edits below the length", "тлефн", Thresholds{3, 6, 0.0f, 100.0f}, "похожих слов нет", nullptr},
        {"one edit first", "малоко", loose(), nullptr, "молоко"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto j = pack.judge(c.word, c.t);
        if (c.reason) {
            expectSkip(j, c.reason);
        } else {
            ASSERT_TRUE(j.isFix()) << j.reason;
            EXPECT_EQ(j.word, c.fix);
        }
    }
    // A single scored candidate leads by infinity; the channel cost is its alignment.
    const auto single = pack.judge("кох", loose());
    EXPECT_TRUE(single.scored);
    EXPECT_TRUE(std::isinf(single.margin));
    EXPECT_FLOAT_EQ(single.cost, 3.02f);
}

TEST(Pack, FrequencyAndChannelDecideBetweenCandidates) {
    // кит and кот are one substitution from кат: equal cost under the prior.
    const std::vector<std::string> forms{"кит", "кот"};
    expectSkip(PackDir(forms).open().judge("кат", Thresholds{3, 5, 0.1f, 100.0f}), "два кандидата рядом");

    const auto byFreq = PackDir(forms, {{"кит", 500}, {"кот", 100}}).open().judge("кат", loose());
    ASSERT_TRUE(byFreq.isFix());
    EXPECT_EQ(byFreq.word, "кот");
    EXPECT_NEAR(byFreq.margin, 0.4f, 1e-5);

    // A frequency file that does not hold a candidate gives it the floor.
    const auto floor = PackDir(forms, {{"кит", 25000}}).open().judge("кат", loose());
    EXPECT_EQ(floor.word, "кот");
    EXPECT_NEAR(floor.margin, 5.0f, 1e-4);

    // Typing а for о is cheap in this channel; the broken lines change nothing.
    const std::string channel =
        "sub\tо а 0.5\n"
        "sub и 0.1\n"          // three fields
        "sub q а 0.1\n"        // letter outside the alphabet
        "sub и а nan\n"        // not a number
        "sub и а inf\n"        // not a finite number
        "del и\n"              // too few fields
        "foo и а 0.1\n";       // unknown kind
    const auto byChannel = PackDir(forms, {}, channel).open().judge("кат", loose());
    ASSERT_TRUE(byChannel.isFix());
    EXPECT_EQ(byChannel.word, "кот");
    EXPECT_FLOAT_EQ(byChannel.cost, 0.52f);
    EXPECT_FLOAT_EQ(byChannel.margin, 2.5f);
}

TEST(Pack, CasedJudgementScreensAbbreviationsAndNames) {
    const Pack pack = PackDir({"кот", "москва"}).open();
    struct Case {
        const char* word;
        bool sentenceStart;
        const char* reason;
    };
    const Case cases[] = {
        {"КоХ", true, "аббревиатура"},
        {"кОх", false, "аббревиатура"},
        {"Кох", false, "имя собственное"},
        {"Ёж", false, "имя собственное"},
    };
    for (const auto& c : cases) expectSkip(pack.judgeCased(c.word, c.sentenceStart, loose()), c.reason);
    EXPECT_EQ(pack.judgeCased("Кох", true, loose()).word, "кот");
    EXPECT_EQ(pack.judgeCased("кох", false, loose()).word, "кот");
    expectSkip(pack.judgeCased("", false, loose()), "чужой алфавит");
}

TEST(Pack, OpenErrorsAndOptionalFiles) {
    {
        test::ScratchDir empty;
        const auto r = Pack::open(empty.path());
        EXPECT_FALSE(r.pack);
        EXPECT_EQ(r.error, "нет alphabet.txt: No such file or directory");
    }
    {
        test::ScratchDir dir;
        dir.write("alphabet.txt", "\n\r\n");
        EXPECT_EQ(Pack::open(dir.path()).error, "алфавит пуст или не влезает в байт");
        dir.write("alphabet.txt", RUSSIAN);
        EXPECT_EQ(Pack::open(dir.path()).error, "нет forms.fst: No such file or directory");
        dir.write("forms.fst", "not a set");
        const auto bad = Pack::open(dir.path());
        EXPECT_FALSE(bad.pack);
        EXPECT_EQ(bad.error.find("нет forms.fst"), std::string::npos);
        EXPECT_FALSE(bad.error.empty());
    }
    // Without channel.tsv and freq.fst: prior costs and the frequency floor. A set given as
    // freq.fst carries no values and is ignored like a missing file.
    PackDir dir({"кот"});
    dir.dir().write("freq.fst", PackDir::build({{"!", 0}}, false));
    const Pack pack = dir.open();
    EXPECT_FALSE(pack.freq);
    EXPECT_EQ(pack.channel.n, 33u);
    EXPECT_EQ(pack.fold[*pack.alphabet.code(U'ё') - 33], *pack.alphabet.code(U'е'));
    EXPECT_EQ(pack.fold[*pack.alphabet.code(U'е') - 33], *pack.alphabet.code(U'е'));
}

TEST(Pack, CandidatesAreCutInAlphabetOrder) {
    const Pack pack = PackDir({"бот", "кот", "лот", "рот", "ёт"}).open();
    const auto key = *pack.alphabet.encode("вот");
    std::vector<std::string> words;
    for (const auto& k : pack.candidates(key, 1, 3)) words.push_back(pack.alphabet.decode(k));
    EXPECT_EQ(words, (std::vector<std::string>{"бот", "кот", "лот"}));
}

TEST(Pack, FoldUsesTheBaseLetterOnlyWhenTheAlphabetHasIt) {
    test::ScratchDir dir;
    dir.write("alphabet.txt", "e\né\nñ\na\n");
    dir.write("forms.fst", PackDir::build({{"!", 0}}, false));
    const auto opened = Pack::open(dir.path());
    ASSERT_TRUE(opened.pack) << opened.error;
    EXPECT_EQ(opened.pack->fold, (std::vector<std::uint8_t>{33, 33, 35, 36}));
}

TEST(Channel, CostIsAWeightedEditDistance) {
    const auto a = *Alphabet::parse(RUSSIAN);
    const auto key = [&](const char* w) { return *a.encode(w); };
    Channel c = Channel::prior(33);
    EXPECT_FLOAT_EQ(c.cost(key("кот"), key("кот")), 0.03f);
    EXPECT_FLOAT_EQ(c.cost("", key("кот")), 3 * 3.6f);
    EXPECT_FLOAT_EQ(c.cost(key("кот"), ""), 3 * 3.6f);
    EXPECT_FLOAT_EQ(c.cost(key("кот"), key("кит")), 3.02f);
    EXPECT_FLOAT_EQ(c.cost(key("кот"), key("кто")), 6.01f);  // a swap is two edits
    // A NaN cost never wins a minimum.
    c.sub.assign(c.sub.size(), std::nanf(""));
    EXPECT_FLOAT_EQ(c.cost(key("кот"), key("кит")), 0.02f + 3.6f + 3.6f);
    EXPECT_TRUE(std::isinf(c.cost(key("кот"), "\x7E")));
}

}  // namespace
}  // namespace murmelo
