#include "polish/PunctuationMerge.h"

#include <gtest/gtest.h>

using namespace murmelo;
using PunctuationMerge::merge;

namespace {

struct Case {
    const char* name;
    QString raw;
    QString model;
    QString text;            // expected result text
    qint64 rejected = 0;
    bool applied = true;
    bool typedByHand = true;
    bool allowYo = true;
    bool splitGlued = false;
    bool trust = false;      // pass a mayReplace that allows every word
};

void run(const Case& c) {
    PunctuationMerge::MayReplace mayReplace;
    if (c.trust) mayReplace = [](const QString&) { return true; };
    const auto r = merge(c.raw, c.model, mayReplace, c.typedByHand, c.allowYo, c.splitGlued);
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(r.rejectedWords, c.rejected) << c.name;
    EXPECT_EQ(r.applied, c.applied) << c.name;
}

}  // namespace

TEST(PunctuationMergeTest, WordsAndKeys) {
    const auto ws = PunctuationMerge::words(QStringLiteral("«Кто-то» пришёл--' а 3,5 don't- 😀x"));
    QStringList texts;
    for (const auto& w : ws) texts << w.text;
    EXPECT_EQ(texts, (QStringList{"Кто-то", "пришёл", "а", "3", "5", "don't", "x"}));
    EXPECT_EQ(ws[0].start, 1);
    EXPECT_EQ(ws[0].end, 7);
    EXPECT_EQ(ws.back().start, QStringLiteral("«Кто-то» пришёл--' а 3,5 don't- 😀").size());
    EXPECT_TRUE(PunctuationMerge::words(QString()).empty());
    // A letter with a combining mark stays one character of its word.
    EXPECT_EQ(PunctuationMerge::words(QStringLiteral("е\u0301ж")).front().text, QStringLiteral("е\u0301ж"));
    EXPECT_TRUE(PunctuationMerge::sameWord(QStringLiteral("Ёлка"), QStringLiteral("елка")));
    EXPECT_FALSE(PunctuationMerge::sameWord(QStringLiteral("елка"), QStringLiteral("ёлки")));
}

TEST(PunctuationMergeTest, Alignment) {
    const auto pairs = PunctuationMerge::align({"a", "b", "c", "d"}, {"A", "x", "b", "C", "e"});
    EXPECT_EQ(pairs, (std::map<int, int>{{0, 0}, {1, 2}, {2, 3}, {3, 4}}));  // d against e: a change
    EXPECT_EQ(PunctuationMerge::align({"a", "b"}, {"b"}), (std::map<int, int>{{1, 0}}));
    EXPECT_TRUE(PunctuationMerge::align({}, {"a"}).empty());
}

TEST(PunctuationMergeTest, WorkedExamples) {
    const Case cases[] = {
        {"comma and case taken, typed question mark refused", "привет как дела", "Привет, как дела?",
         "Привет, как дела"},
        {"the human's hyphen-minus survives the model's em dash", "Москва - столица", "Москва — столица",
         "Москва - столица"},
        {"hyphen join keeps human case, takes yo and the period", "кто то пришел", "Кто-то пришёл.",
         "кто-то пришёл."},
        {"abbreviation periods", "см рис 3", "См. рис. 3", "См. рис. 3"},
        {"a period before a lowercase word is refused", "я дома он спит", "я дома. он спит", "я дома он спит"},
        {"a period before a capital is taken", "я дома он спит", "Я дома. Он спит.", "Я дома. Он спит."},
        {"a spelling change is refused and counted", "превет как дела", "привет как дела", "превет как дела", 1},
    };
    for (const Case& c : cases) run(c);
}

TEST(PunctuationMergeTest, EdgeCases) {
    const Case cases[] = {
        {"empty model", "привет", "", "привет", 0, false},
        {"whitespace-only model", "привет", "  \n", "привет", 0, false},
        {"model without words", "привет", "?!", "привет", 0, false},
        {"human without words", "...", "Привет.", "...", 0, false},
        {"outer whitespace is dropped, inner prefix kept", "  (привет как дела\n", "(Привет, как дела\n",
         "(Привет, как дела"},
        {"a model prefix only when the first words pair", "- привет мир", "— Ну, привет мир.", "- привет мир."},
        {"a paired prefix keeps the human dash", "- привет мир", "— Привет мир", "- Привет мир"},
        {"a model suffix only when the last words pair", "привет как", "привет как дела.", "привет как"},
        {"unspaced words keep case, the spaced one takes it", "т.е я", "Т. е. Я", "т.е. Я"},
        {"a slash gap stays", "x/y z", "X / Y, z", "x/y, z"},
        {"a typed comma may not be dropped", "да, нет", "да нет", "да, нет"},
        {"untyped text may lose a comma", "да, нет", "да нет", "да нет", 0, true, false},
        {"untyped text may gain a question mark", "как дела", "как дела?", "как дела?", 0, true, false},
        {"a colon may not vanish even from dictation", "итак: да", "итак да", "итак: да", 0, true, false},
        {"an em dash may replace a hyphen gap", "да - нет", "да — нет", "да - нет"},
        {"an en dash where the human had none", "да нет", "да – нет", "да – нет"},
        {"a double period is refused", "да нет", "да.. нет", "да нет"},
        {"an ellipsis is never added", "да нет", "да… нет", "да нет"},
        {"guillemets are never added", "он сказал да", "он сказал «да»", "он сказал да"},
        {"brackets are never added", "да нет", "да (нет)", "да нет"},
        {"a slash is never added", "да нет", "да / нет", "да нет"},
        {"an at sign is never added", "да нет", "да @ нет", "да нет"},
        {"a digit in a gap is never added", "да нет", "да 1 нет", "да нет"},
        {"a semicolon may be added", "да нет", "да; нет", "да; нет"},
        {"a human line break may not vanish", "да\nнет", "да нет", "да\nнет"},
        {"equal words are never joined", "ну ну", "Ну-ну", "ну ну", 1},
        {"different words are joined", "из за", "Из-за", "из-за"},
        {"a tab prevents joining", "из\tза", "Из-за", "из\tза", 1},
        {"without yo permission ё is refused but case kept", "ещё елка", "Ещё Ёлка", "Ещё Елка", 1, true, true,
         false},
        {"with yo permission ё is taken", "елка", "ёлка", "ёлка"},
        {"hyphen-joined words take only yo", "все таки", "Всё-таки", "всё-таки"},
        {"a dropped word leaves the neighbours human", "я очень рад", "Я рад.", "Я очень рад."},
        {"an added word is left out", "я рад", "Я очень рад.", "Я рад."},
        {"a split with the same letters", "вобщем да", "в общем да", "в общем да", 0, true, true, true, true},
        {"a split with a mark inside is refused", "вобщем да", "в, общем да", "вобщем да", 1, true, true, true,
         true},
        {"no split without yo permission", "вобщем да", "в общем да", "вобщем да", 1, true, true, false, true},
        {"the last word is never split", "да вобщем", "да в общем", "да вобщем", 1, true, true, true, true},
        {"trust takes a spelling change", "превет как дела", "привет, как дела", "привет, как дела", 0, true,
         true, true, false, true},
    };
    for (const Case& c : cases) run(c);
}

TEST(PunctuationMergeTest, FinalCheckThrowsAwayABrokenMerge) {
    // The model's unspaced em dash, put back as the human's hyphen, would glue two words
    // into one: the whole merge is refused, the raw text answered untouched.
    const auto glued = merge(QStringLiteral(" да - нет "), QStringLiteral("Да—нет"), {}, true, true, false);
    EXPECT_FALSE(glued.applied);
    EXPECT_EQ(glued.text, QStringLiteral(" да - нет "));
    EXPECT_EQ(glued.rejectedWords, 2);
}
