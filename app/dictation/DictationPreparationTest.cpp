#include "dictation/DictationPreparation.h"

#include "TestEnvironment.h"
#include "base/Graphemes.h"
#include "dictation/DictationModeTrigger.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct TriggerCase {
    const char* name;
    QString text;
    std::optional<QString> language;
    std::optional<DictationModeTrigger::Detection> expected;
};

class ModeTrigger : public ::testing::TestWithParam<TriggerCase> {};

TEST_P(ModeTrigger, Detects) {
    test::TestEnvironment env;
    const TriggerCase& c = GetParam();
    EXPECT_EQ(DictationModeTrigger::detect(c.text, c.language), c.expected) << c.name;
}

using D = DictationModeTrigger::Detection;
INSTANTIATE_TEST_SUITE_P(
    Cases, ModeTrigger,
    ::testing::Values(
        TriggerCase{"capitalisedRestLosesFinalStop", "Дословно, привет как дела.", std::nullopt,
                    D{SmartCleanupMode::literal, "Привет как дела"}},
        TriggerCase{"lowerCaseStays", "как есть: завтра в десять", std::nullopt,
                    D{SmartCleanupMode::literal, "завтра в десять"}},
        TriggerCase{"list", "Списком. Молоко, хлеб, сыр.", std::nullopt,
                    D{SmartCleanupMode::structured, "Молоко, хлеб, сыр"}},
        TriggerCase{"letterAfterPhrase", "Дословное изложение", std::nullopt, std::nullopt},
        TriggerCase{"exclamationAfterPhrase", "Дословно! привет", std::nullopt, std::nullopt},
        TriggerCase{"phraseAlone", "Дословно.", std::nullopt, std::nullopt},
        TriggerCase{"blank", "  \n ", std::nullopt, std::nullopt},
        TriggerCase{"leadingBreaks", "\n  со знаками - привет мир", std::nullopt,
                    D{SmartCleanupMode::structured, "привет мир"}},
        TriggerCase{"english", "Дословно, привет как дела", QString("en"), std::nullopt},
        TriggerCase{"regionCodeRussian", "Дословно, привет как дела", QString("ru-RU"),
                    D{SmartCleanupMode::literal, "Привет как дела"}},
        // whisper.cpp's server names the language in words.
        TriggerCase{"serverNameRussian", "Дословно, привет как дела", QString("russian"),
                    D{SmartCleanupMode::literal, "Привет как дела"}},
        TriggerCase{"serverNameEnglish", "Дословно, привет как дела", QString("english"), std::nullopt},
        TriggerCase{"russianButEnglishText",
                    "дословно, the weather is really nice today and we should go out for a walk in the park",
                    QString("ru"),
                    std::nullopt},
        TriggerCase{"noLanguageAnyScript", "дословно, hello there how are you doing today", std::nullopt,
                    D{SmartCleanupMode::literal, "hello there how are you doing today"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A vocabulary store of fixed answers.
struct FakeVocabulary : DictationVocabulary {
    QString vocab;
    QList<QPair<QString, QString>> snaps;            // applied as plain replacements
    QList<QPair<QString, QString>> learnedRules;     // applied as plain replacements
    QStringList prompt;
    QStringList personal;
    std::optional<DictationContext> seenContext = DictationContext{"unset", "unset"};

    FakeVocabulary() {
        effectiveVocab = [this](const std::optional<DictationContext>& c) {
            seenContext = c;
            return vocab;
        };
        termSnap = [this](const QString& text, const QString&) {
            TermSnapResult r{text, {}};
            for (const auto& [from, to] : snaps)
                if (r.text.contains(from)) {
                    r.text.replace(from, to);
                    r.replacements.append({from, to});
                }
            return r;
        };
        learnedApply = [this](const QString& text, const std::optional<DictationContext>&) {
            QString t = text;
            for (const auto& [from, to] : learnedRules) t.replace(from, to);
            return t;
        };
        promptTerms = [this](const std::optional<DictationContext>&) { return prompt; };
        personalWords = [this] { return personal; };
    }
};

struct Preparation : ::testing::Test {
    test::TestEnvironment env;
    FakeVocabulary store;
};

TEST_F(Preparation, LabelsComeInChainOrderBeforeCleanupLabels) {
    store.snaps = {{"гидхаб", "GitHub"}};
    store.learnedRules = {{"мурмело", "Murmelo"}};
    const QString text = "Дословно, мой гидхаб и мурмело";
    const PreparedDictation p =
        prepareDictationForDelivery(text, DictationContext{"a.b", "App"}, SmartCleanupMode::clean, std::nullopt, store);
    EXPECT_EQ(p.sourceText, text);
    EXPECT_EQ(p.learnedText, "Мой GitHub и Murmelo");
    ASSERT_GE(p.changes.size(), 3);
    EXPECT_EQ(p.changes.mid(0, 3), (QStringList{"trigger", "terms", "learned"}));
    // The literal mode of the trigger leaves the text to itself.
    EXPECT_EQ(p.outputText, "Мой GitHub и Murmelo");
    EXPECT_TRUE(env.logContains("Smart Cleanup: голосом задан режим «" + SmartCleanupModes::title(SmartCleanupMode::literal) +
                                "» на эту надиктовку"));
    EXPECT_TRUE(env.logContains("термины: гидхаб → GitHub"));
}

TEST_F(Preparation, PhraseAloneKeepsTextAndMode) {
    const PreparedDictation p =
        prepareDictationForDelivery("Дословно.", std::nullopt, SmartCleanupMode::literal, std::nullopt, store);
    EXPECT_EQ(p.learnedText, "Дословно.");
    EXPECT_FALSE(p.changes.contains("trigger"));
    EXPECT_FALSE(env.logContains("голосом задан режим"));
}

TEST_F(Preparation, LearnedLabelFollowsTheTextNotTheRules) {
    store.learnedRules = {{"нечто", "другое"}};
    const PreparedDictation p =
        prepareDictationForDelivery("привет мир", std::nullopt, SmartCleanupMode::literal, std::nullopt, store);
    EXPECT_TRUE(p.changes.isEmpty());
    EXPECT_FALSE(env.logContains("термины:"));
}

TEST_F(Preparation, WithoutContextTheGlobalVocabularyIsAsked) {
    prepareDictationForDelivery("привет", std::nullopt, SmartCleanupMode::literal, std::nullopt, store);
    EXPECT_EQ(store.seenContext, std::nullopt);
    dictationPromptPlan(std::nullopt, store, {});
    EXPECT_EQ(store.seenContext, std::nullopt);
}

TEST_F(Preparation, DefaultStoreLeavesTextAndSaysSoOnce) {
    DictationVocabulary empty;
    const PreparedDictation p =
        prepareDictationForDelivery("привет мир", std::nullopt, SmartCleanupMode::literal, std::nullopt, empty);
    prepareDictationForDelivery("привет мир", std::nullopt, SmartCleanupMode::literal, std::nullopt, empty);
    EXPECT_EQ(p.learnedText, "привет мир");
    EXPECT_EQ(env.logText().count("заглушка: learnedApply"), 1);
    EXPECT_EQ(dictationVocabularyPrompt(std::nullopt, empty), "");
}

struct PromptPlan : Preparation {};

TEST_F(PromptPlan, DuplicatesKeepFirstSpellingAndCountAsFitted) {
    store.vocab = " Murmelo, murmelo ,MURMELO, , Qt\n";
    store.prompt = {"qt", "Ninja"};
    store.personal = {"murmelo", "Zsh", "zsh"};
    const DictationPromptPlan plan = dictationPromptPlan(std::nullopt, store, store.personal);
    EXPECT_EQ(plan.text, "Murmelo, Qt, Ninja, Zsh");
    EXPECT_EQ(plan.personalFit, 2);
    EXPECT_EQ(plan.personalTotal, 2);
}

TEST_F(PromptPlan, CommasAndSpacesOnlyGiveNoTerms) {
    store.vocab = " , ,, \n,";
    EXPECT_EQ(dictationPromptPlan(std::nullopt, store, {}).text, "");
}

TEST_F(PromptPlan, VocabularyTermsIgnoreTheBudgetAndShutOutTheRest) {
    QStringList long_;
    for (int i = 0; i < 60; ++i) long_ << QString("термин%1").arg(i);
    store.vocab = long_.join(",");
    store.prompt = {"x"};
    store.personal = {"y"};
    const DictationPromptPlan plan = dictationPromptPlan(std::nullopt, store, store.personal);
    EXPECT_EQ(plan.text, long_.join(", "));
    EXPECT_GT(graphemeCount(plan.text), PROMPT_CHAR_BUDGET);
    EXPECT_EQ(plan.personalFit, 0);
    EXPECT_EQ(plan.personalTotal, 1);
}

TEST_F(PromptPlan, LongVocabularyStopsAtTheBudgetExactly) {
    // 40 learned terms of 9 graphemes, one an emoji of several code points: the budget is
    // counted in what the user sees.
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    QStringList terms;
    for (int i = 0; i < 37; ++i) terms << QString("слово%1").arg(i, 3, 10, QChar('0')) + family;  // 9 graphemes
    // 37 terms: 37*9 + 36*2 = 405; one of 13 more ("…, " + 13) gives exactly 420.
    const QString exact = QString("а").repeated(13);
    terms << exact << "бб" << "в";  // "бб" would reach 424; the shorter "в" after it is not tried
    store.prompt = terms;
    const DictationPromptPlan plan = dictationPromptPlan(std::nullopt, store, {});
    EXPECT_EQ(graphemeCount(plan.text), PROMPT_CHAR_BUDGET);
    EXPECT_TRUE(plan.text.endsWith(exact));

    terms[37] = QString("а").repeated(14);  // 421: the walk ends there
    store.prompt = terms;
    const DictationPromptPlan over = dictationPromptPlan(std::nullopt, store, {});
    EXPECT_EQ(graphemeCount(over.text), 405);
    EXPECT_FALSE(over.text.contains("бб"));
    EXPECT_FALSE(over.text.endsWith(", в"));
}

}  // namespace
