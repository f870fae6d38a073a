#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

// Failures show the texts, not their bytes.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// "stage:rule:language" per trace entry, so a row states exactly which rules fired.
QString traceText(const QList<SmartCleanupTrace>& trace) {
    QStringList out;
    for (const auto& t : trace) out << rawValue(t.stage) + ":" + t.ruleID.rawValue + ":" + (t.language ? t.language->rawValue : "-");
    return out.join(' ');
}

struct Row {
    const char* name;
    std::optional<QString> language;
    QString input;
    QString clean;
    QString structured;
    QString structuredTrace;
};

const QString LF = "\n";

// Every worked example of the clean-up rules, through the facade in each mode. Literal always
// gives the input back byte for byte.
const Row ROWS[] = {
    // The engine's own examples.
    {"empty", std::nullopt, "", "", "", ""},
    {"no profile, spacing only", QString("de"), "Hello ,  world", "Hello, world", "Hello, world", "normalization:common.normalization:-"},
    {"spoken line break", std::nullopt, "buy milk new line call mom", "buy milk new line call mom", "buy milk" + LF + "call mom",
     "structure:en.command.line:en normalization:common.normalization:-"},
    {"number with unit", std::nullopt, "it costs five percent more", "it costs five percent more", "it costs 5% more",
     "numbers:en.unit.percent:en"},
    // Self-corrections.
    {"tail correction", QString("en"), "meet at five, actually six.", "meet at six.", "meet at six.", "backtrack:en.backtrack.tail:en"},
    {"discarded clause, capital restored", QString("en"), "Buy milk, scratch that, buy bread.", "Buy bread.", "Buy bread.",
     "backtrack:en.backtrack.discard:en normalization:common.normalization:-"},
    {"correction longer than its clause", QString("en"), "go home, actually go to the office", "go to the office", "go to the office",
     "backtrack:en.backtrack.tail:en"},
    {"unsafe correction start", QString("en"), "I'd like tea, rather than coffee.", "I'd like tea, rather than coffee.",
     "I'd like tea, rather than coffee.", ""},
    {"nothing after the marker", QString("en"), "call mom, actually", "call mom, actually", "call mom, actually", ""},
    {"correction of 13 words", QString("en"), "meet at five, actually a b c d e f g h i j k l m",
     "meet at five, actually a b c d e f g h i j k l m", "meet at five, actually a b c d e f g h i j k l m", ""},
    {"clause starts after the full stop", QString("en"), "We met. At five, actually six.", "We met. At six.", "We met. At six.",
     "backtrack:en.backtrack.tail:en"},
    {"earlier sentence stays", QString("en"), "We met. Buy milk, scratch that, buy bread.", "We met. buy bread.", "We met. buy bread.",
     "backtrack:en.backtrack.discard:en"},
    {"chained corrections", QString("en"), "at five, actually six, actually seven.", "at seven.", "at seven.",
     "backtrack:en.backtrack.tail:en backtrack:en.backtrack.tail:en"},
    {"russian tail", QString("ru"), "Встреча в пять, нет, в шесть.", "Встреча в шесть.", "Встреча в шесть.",
     "backtrack:ru.backtrack.tail:ru"},
    {"russian discard", QString("ru"), "Купи молоко, отмени это, купи хлеб.", "Купи хлеб.", "Купи хлеб.",
     "backtrack:ru.backtrack.discard:ru normalization:common.normalization:-"},
    {"russian unsafe start", QString("ru"), "лучше чай, точнее, чем кофе", "лучше чай, точнее, чем кофе", "лучше чай, точнее, чем кофе", ""},
    {"a verb that starts like a marker", QString("ru"), "Оформи заказ, отменить подписку", "Оформи заказ, отменить подписку",
     "Оформи заказ, отменить подписку", ""},
    // Fillers.
    {"english fillers", QString("en"), "So, um, I think uh we should go", "So, I think we should go", "So, I think we should go",
     "fillers:en.filler.hesitation:en"},
    {"filler at the start", QString("en"), "Umm, ok", "Ok", "Ok", "fillers:en.filler.hesitation:en normalization:common.normalization:-"},
    {"words that contain fillers", QString("en"), "umbrella uh-huh erm.txt", "umbrella uh-huh erm.txt", "umbrella uh-huh erm.txt", ""},
    {"russian filler", QString("ru"), "Я, э-э, думаю", "Я, думаю", "Я, думаю", "fillers:ru.filler.hesitation:ru"},
    {"russian words that contain fillers", QString("ru"), "это эмблема", "это эмблема", "это эмблема", ""},
    // Spoken commands.
    {"english punctuation", QString("en"), "Hello comma how are you question mark", "Hello comma how are you question mark",
     "Hello, how are you?", "structure:en.command.question:en structure:en.command.comma:en normalization:common.normalization:-"},
    {"semicolon before full stop", QString("ru"), "точка с запятой", "точка с запятой", ";", "structure:ru.command.semicolon:ru"},
    {"new paragraph", QString("ru"), "привет новый абзац пока", "привет новый абзац пока", "привет" + LF + LF + "пока",
     "structure:ru.command.paragraph:ru normalization:common.normalization:-"},
    {"new line", QString("ru"), "привет с новой строки пока", "привет с новой строки пока", "привет" + LF + "пока",
     "structure:ru.command.line:ru normalization:common.normalization:-"},
    {"a command alone", QString("en"), "new paragraph", "new paragraph", "",
     "structure:en.command.paragraph:en normalization:common.normalization:-"},
    // Numbers.
    {"explicit number word", QString("en"), "as a number twelve", "as a number twelve", "12", "numbers:en.number.explicit:en"},
    {"explicit digits", QString("en"), "as a number 7", "as a number 7", "7", "numbers:en.number.explicit:en"},
    {"explicit ordinal stays", QString("en"), "as a number first", "as a number first", "as a number first", ""},
    {"longest number word wins", QString("en"), "fourteen percent", "fourteen percent", "14%", "numbers:en.unit.percent:en"},
    {"minutes", QString("en"), "10 minutes", "10 minutes", "10 min", "numbers:en.unit.minute:en"},
    {"hours", QString("en"), "3 hours", "3 hours", "3 h", "numbers:en.unit.hour:en"},
    {"written unit unchanged", QString("en"), "2 kg", "2 kg", "2 kg", ""},
    {"compound number", QString("en"), "twenty five percent", "twenty five percent", "twenty 5%", "numbers:en.unit.percent:en"},
    {"too long for 64 bits", QString("en"), "99999999999999999999 percent", "99999999999999999999 percent",
     "99999999999999999999 percent", ""},
    {"russian percent", QString("ru"), "пять процентов", "пять процентов", "5%", "numbers:ru.unit.percent:ru"},
    {"russian kilograms", QString("ru"), "два килограмма", "два килограмма", "2 кг", "numbers:ru.unit.kilogram:ru"},
    {"russian explicit", QString("ru"), "цифрой пять", "цифрой пять", "5", "numbers:ru.number.explicit:ru"},
    {"russian has no minute unit", QString("ru"), "десять минут", "десять минут", "десять минут", ""},
    // Normalisation.
    {"space before punctuation", std::nullopt, "Hello ,  world  !", "Hello, world!", "Hello, world!", "normalization:common.normalization:-"},
    {"at most one empty line", std::nullopt, "a" + LF + LF + LF + LF + LF + "b", "a" + LF + LF + "b", "a" + LF + LF + "b",
     "normalization:common.normalization:-"},
    {"blanks around a line break", std::nullopt, "a " + LF + " b", "a" + LF + "b", "a" + LF + "b", "normalization:common.normalization:-"},
    {"repeated commas", std::nullopt, "yes,, , no", "yes, no", "yes, no", "normalization:common.normalization:-"},
    {"outer blanks", std::nullopt, "  hello  ", "hello", "hello", "normalization:common.normalization:-"},
    {"blanks only", std::nullopt, " " + LF + "\t ", "", "", "normalization:common.normalization:-"},
    {"lower-case start stays lower case", QString("en"), "so, um, fine", "so, fine", "so, fine", "fillers:en.filler.hesitation:en"},
    {"tidy text", std::nullopt, "Already tidy.", "Already tidy.", "Already tidy.", ""},
};

}  // namespace

TEST(SmartCleanupEngineTest, EveryExampleInEveryMode) {
    for (const Row& row : ROWS) {
        const SmartCleanupResult literal = SmartCleanup::process(row.input, SmartCleanupMode::literal, row.language);
        EXPECT_EQ(literal.text, row.input) << row.name;
        EXPECT_TRUE(literal.trace.isEmpty()) << row.name;

        const SmartCleanupResult clean = SmartCleanup::process(row.input, SmartCleanupMode::clean, row.language);
        EXPECT_EQ(clean.original, row.input) << row.name;
        EXPECT_EQ(clean.text, row.clean) << row.name;

        const SmartCleanupResult structured = SmartCleanup::process(row.input, SmartCleanupMode::structured, row.language);
        EXPECT_EQ(structured.text, row.structured) << row.name;
        EXPECT_EQ(traceText(structured.trace), row.structuredTrace) << row.name;
    }
}

TEST(SmartCleanupEngineTest, LiteralIsByteForByteWhateverTheInput) {
    for (const QString& input : {QString(), QString("   "), QString("So, um, uh  ,, new line")}) {
        const auto r = SmartCleanupEngine().process(input, SmartCleanupMode::literal);
        EXPECT_EQ(r, (SmartCleanupResult{input, input, {}}));
        EXPECT_TRUE(r.changes().isEmpty());
    }
}

TEST(SmartCleanupEngineTest, ChangesListEachStageOnceWithoutNormalization) {
    const SmartCleanupResult r{"a", "b",
                               {{SmartCleanupStage::fillers, {"x"}, std::nullopt},
                                {SmartCleanupStage::structure, {"y"}, std::nullopt},
                                {SmartCleanupStage::fillers, {"z"}, std::nullopt},
                                {SmartCleanupStage::normalization, {"common.normalization"}, std::nullopt}}};
    EXPECT_EQ(r.changes(), (QStringList{"fillers", "structure"}));
    const auto deProfile = SmartCleanup::process("Hello ,  world", SmartCleanupMode::clean, QString("de"));
    EXPECT_EQ(deProfile.trace.size(), 1);
    EXPECT_TRUE(deProfile.changes().isEmpty());
    const auto mixed = SmartCleanup::process("So, um, I think it costs five percent more, uh", SmartCleanupMode::structured, QString("en"));
    EXPECT_EQ(mixed.changes(), (QStringList{"fillers", "numbers"}));
}

TEST(SmartCleanupEngineTest, ProfilesDecideWhichRulesRun) {
    // Without a profile only normalisation runs: the English filler and command stay.
    const SmartCleanupEngine none({}, SmartCleanupSkillRegistry::all());
    EXPECT_EQ(none.process("um, hello  comma", SmartCleanupMode::structured).text, "um, hello comma");
    // A dictation tagged Russian whose text is plainly English gets no profile at all.
    EXPECT_EQ(SmartCleanup::process("hello comma world", SmartCleanupMode::structured, QString("ru-RU")).text, "hello comma world");
    EXPECT_EQ(SmartCleanup::process("hello comma world", SmartCleanupMode::structured, QString("en-US")).text, "hello, world");
    // With both profiles the Russian rules come first in the trace.
    const auto both = SmartCleanup::process("Э, hello, uh, world", SmartCleanupMode::clean, std::nullopt);
    EXPECT_EQ(traceText(both.trace), "fillers:ru.filler.hesitation:ru fillers:en.filler.hesitation:en normalization:common.normalization:-");
    EXPECT_EQ(both.text, "Hello, world");
}

// A profile whose rule does not compile does not stop the run: the broken rule is skipped and
// logged once, the other rules still apply.
TEST(SmartCleanupEngineTest, ABrokenRuleIsSkippedAndLogged) {
    test::TestEnvironment env;
    SmartCleanupLanguageProfile broken = SmartCleanupLanguageProfile::english();
    // A pattern of its own per run: the expression cache outlives the test.
    static int run = 0;
    broken.fillerRules.prepend({{"en.filler.broken"}, QString("(?:uh%1").arg(++run)});
    const SmartCleanupEngine engine({broken}, {});
    for (int run = 0; run < 2; ++run) {
        const auto r = engine.process("So, um, I think uh we should go", SmartCleanupMode::clean);
        EXPECT_EQ(r.text, "So, I think we should go");
        EXPECT_EQ(traceText(r.trace), "fillers:en.filler.hesitation:en");
    }
    EXPECT_EQ(env.logLines().filter("regex: выражение не собрано").size(), 1);
}

TEST(SmartCleanupEngineTest, RunsAreIndependent) {
    const SmartCleanupEngine engine;
    const auto first = engine.process("meet at five, actually six. um, new line ok", SmartCleanupMode::structured);
    const auto second = engine.process("meet at five, actually six. um, new line ok", SmartCleanupMode::structured);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.text, "meet at six." + LF + "ok");
}
