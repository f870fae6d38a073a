#include "cleanup/SmartCleanupListSequenceParser.h"
#include "cleanup/SmartCleanupProcessors.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QString ruleIDs(const QList<SmartCleanupTrace>& trace) {
    QStringList out;
    for (const auto& t : trace) out << t.ruleID.rawValue;
    return out.join(' ');
}

struct Row {
    const char* name;
    std::optional<QString> language;
    QString input;
    QString listed;  // what the list stage makes of the input
    QString rules;   // the list stage's trace, rule ids in text order
    // What the whole chain delivers in clean and in structured mode; absent: the same as
    // the list stage (normalisation has nothing left to do).
    std::optional<QString> clean = std::nullopt;
    std::optional<QString> structured = std::nullopt;
};

const QString LF = "\n";

const Row ROWS[] = {
    // The worked result.
    {"marker lists need no further evidence", QString("ru"),
     "План, пункт 1, сделать много, пункт 2, проверить, пункт 3, заработать кучу денег.",
     "План:" + LF + "1. сделать много" + LF + "2. проверить" + LF + "3. заработать кучу денег.",
     "ru.structure.list.marker-number ru.structure.list.marker-number ru.structure.list.marker-number"},
    {"steps in english", QString("en"), "Steps: step 1 open the app, step 2 log in, step three wait",
     "Steps:" + LF + "1. open the app" + LF + "2. log in" + LF + "3. wait",
     "en.structure.list.marker-number en.structure.list.marker-number en.structure.list.marker-number"},

    // One explicit marker is never a list.
    {"one marker", QString("ru"), "Нам нужен пункт 1 договора.", "Нам нужен пункт 1 договора.", ""},
    {"one english marker", QString("en"), "Read point 1 of the contract.", "Read point 1 of the contract.", ""},

    // Digit markers: they must start at 1 and be announced or look like a list throughout.
    {"two digits without a header", QString("ru"), "Модель 1. Работает с моделью 2. Хорошо.", "Модель 1. Работает с моделью 2. Хорошо.", ""},
    {"two english digits without a header", QString("en"), "Model 1. Works with model 2. Good.", "Model 1. Works with model 2. Good.", ""},
    {"digits inside file names", QString("ru"), "Файлы report1.txt и report2.txt лежат рядом.",
     "Файлы report1.txt и report2.txt лежат рядом.", ""},
    {"digit list after a sentence", QString("ru"), "Давай запишем план. 1. Проверить работу, 2. Перезапустить, 3. Заработать.",
     "Давай запишем план." + LF + "1. Проверить работу" + LF + "2. Перезапустить" + LF + "3. Заработать.",
     "ru.structure.list.numeric-marker ru.structure.list.numeric-marker ru.structure.list.numeric-marker"},
    {"english digit list after a sentence", QString("en"), "Here is the plan. 1. Check the logs, 2. Restart, 3. Ship.",
     "Here is the plan." + LF + "1. Check the logs" + LF + "2. Restart" + LF + "3. Ship.",
     "en.structure.list.numeric-marker en.structure.list.numeric-marker en.structure.list.numeric-marker"},
    {"digits glued to the words", QString("ru"), "Давай напишем план:1. протестировать2. зарелизить3. заработать",
     "Давай напишем план:" + LF + "1. протестировать" + LF + "2. зарелизить" + LF + "3. заработать",
     "ru.structure.list.numeric-marker ru.structure.list.numeric-marker ru.structure.list.numeric-marker"},
    {"english digits glued to the words", QString("en"), "Let's write the plan:1. test2. release3. profit",
     "Let's write the plan:" + LF + "1. test" + LF + "2. release" + LF + "3. profit",
     "en.structure.list.numeric-marker en.structure.list.numeric-marker en.structure.list.numeric-marker"},
    {"digits from 2 are no list", QString("ru"), "План: 2. молоко, 3. хлеб, 4. яйца", "План: 2. молоко, 3. хлеб, 4. яйца", ""},
    {"english digits from 2", QString("en"), "Plan: 2) milk, 3) bread, 4) eggs", "Plan: 2) milk, 3) bread, 4) eggs", ""},
    {"three delimited digits need no header", QString("en"), "1) ship, 2) test, 3) relax",
     "1. ship" + LF + "2. test" + LF + "3. relax",
     "en.structure.list.numeric-marker en.structure.list.numeric-marker en.structure.list.numeric-marker"},

    // Word markers may start anywhere; numbers must be consecutive and items have bodies.
    {"word markers from 2", QString("ru"), "План: пункт 2 молоко, пункт 3 хлеб", "План:" + LF + "2. молоко" + LF + "3. хлеб",
     "ru.structure.list.marker-number ru.structure.list.marker-number"},
    {"english word markers from 2", QString("en"), "List: item 2 milk, item 3 bread", "List:" + LF + "2. milk" + LF + "3. bread",
     "en.structure.list.marker-number en.structure.list.marker-number"},
    {"a gap in the numbers", QString("ru"), "пункт 1 молоко, пункт 3 хлеб", "пункт 1 молоко, пункт 3 хлеб", ""},
    {"an empty first item", QString("ru"), "пункт 1, пункт 2 молоко, пункт 3 хлеб", "пункт 1:" + LF + "2. молоко" + LF + "3. хлеб",
     "ru.structure.list.marker-number ru.structure.list.marker-number"},
    {"an empty last item", QString("ru"), "План: пункт 1 молоко, пункт 2 хлеб, пункт 3", "План: пункт 1 молоко, пункт 2 хлеб, пункт 3", ""},
    {"an empty last english item", QString("en"), "Plan: point 1 milk, point 2 bread, point 3", "Plan: point 1 milk, point 2 bread, point 3", ""},

    // Ordinals with a marker, and a bare ordinal continuing them.
    {"ordinal markers and a bare third", QString("ru"), "Первый пункт – проверить. Второй пункт – перезапустить. Третий – заработать.",
     "1. проверить." + LF + "2. перезапустить." + LF + "3. заработать.",
     "ru.structure.list.ordinal-marker ru.structure.list.ordinal-marker ru.structure.list.bare-continuation",
     "1. Проверить." + LF + "2. перезапустить." + LF + "3. заработать."},
    {"english ordinal markers after a header", QString("en"), "Plan. First point — check the logs. Second point — restart the server.",
     "Plan." + LF + "1. check the logs." + LF + "2. restart the server.",
     "en.structure.list.ordinal-marker en.structure.list.ordinal-marker"},
    {"ordinal markers without header or delimiters", QString("en"), "First point check logs. Second point restart.",
     "First point check logs. Second point restart.", ""},

    // Bare ordinals alone: three items, and a header or a delimiter after every ordinal.
    {"two bare ordinals", QString("ru"), "первое молоко, второе хлеб", "первое молоко, второе хлеб", ""},
    {"bare ordinals after a header", QString("ru"), "Список: первое, молоко, второе, хлеб, третье, яйца",
     "Список:" + LF + "1. молоко" + LF + "2. хлеб" + LF + "3. яйца",
     "ru.structure.list.bare-continuation ru.structure.list.bare-continuation ru.structure.list.bare-continuation"},
    {"delimited bare ordinals", QString("ru"), "первое, молоко, второе, хлеб, третье, яйца", "1. молоко" + LF + "2. хлеб" + LF + "3. яйца",
     "ru.structure.list.bare-continuation ru.structure.list.bare-continuation ru.structure.list.bare-continuation"},
    {"undelimited bare ordinals", QString("ru"), "первое молоко, второе хлеб, третье яйца", "первое молоко, второе хлеб, третье яйца", ""},
    {"english bare ordinals", QString("en"), "First, milk, second, bread, third, eggs", "1. milk" + LF + "2. bread" + LF + "3. eggs",
     "en.structure.list.bare-continuation en.structure.list.bare-continuation en.structure.list.bare-continuation",
     "1. Milk" + LF + "2. bread" + LF + "3. eggs"},
    {"two english bare ordinals", QString("en"), "First milk, second bread", "First milk, second bread", ""},

    // Discourse ordinals: every one of them at a boundary.
    {"discourse ordinals", QString("ru"), "Во-первых, проверить, во-вторых, перезапустить.", "1. проверить" + LF + "2. перезапустить.",
     "ru.structure.list.discourse ru.structure.list.discourse", "1. Проверить" + LF + "2. перезапустить."},
    {"a discourse ordinal inside a sentence", QString("ru"), "Во-первых, проверить и во-вторых перезапустить.",
     "Во-первых, проверить и во-вторых перезапустить.", ""},
    {"english discourse ordinals", QString("en"), "Firstly, check the logs. Secondly, restart.",
     "1. check the logs." + LF + "2. restart.", "en.structure.list.discourse en.structure.list.discourse",
     "1. Check the logs." + LF + "2. restart."},
    {"an english discourse ordinal inside a sentence", QString("en"), "Firstly check the logs and secondly restart.",
     "Firstly check the logs and secondly restart.", ""},

    // Several lists, new lines.
    {"two lists", QString("ru"), "План: пункт 1 зарядка, пункт 2 душ." + LF + "Задачи: пункт 1 работа, пункт 2 обед.",
     "План:" + LF + "1. зарядка" + LF + "2. душ." + LF + "Задачи:" + LF + "1. работа" + LF + "2. обед.",
     "ru.structure.list.marker-number ru.structure.list.marker-number ru.structure.list.marker-number ru.structure.list.marker-number"},
    {"two english lists", QString("en"), "Plan: step 1 wake up, step 2 run. Then tasks: step 1 work, step 2 eat.",
     "Plan:" + LF + "1. wake up" + LF + "2. run. Then tasks:" + LF + "1. work" + LF + "2. eat.",
     "en.structure.list.marker-number en.structure.list.marker-number en.structure.list.marker-number en.structure.list.marker-number"},
    {"a list on its own line", QString("ru"), "Купить:" + LF + "пункт 1 молоко, пункт 2 хлеб", "Купить:" + LF + "1. молоко" + LF + "2. хлеб",
     "ru.structure.list.marker-number ru.structure.list.marker-number"},
    {"an english list on its own line", QString("en"), "Buy:" + LF + "item 1 milk, item 2 bread", "Buy:" + LF + "1. milk" + LF + "2. bread",
     "en.structure.list.marker-number en.structure.list.marker-number"},
    // A list whose last item runs straight into the next list: the two replaced ranges
    // meet but never overlap, so the second list keeps its own line.
    {"a list right after an empty last item", QString("ru"), "Шаг 1 открыть, шаг 2 войти, шаг 3, шаг 1 ждать, шаг 2 выйти",
     "1. открыть" + LF + "2. войти" + LF + "3. :" + LF + "1. ждать" + LF + "2. выйти",
     "ru.structure.list.marker-number ru.structure.list.marker-number ru.structure.list.marker-number "
     "ru.structure.list.marker-number ru.structure.list.marker-number",
     "1. Открыть" + LF + "2. войти" + LF + "3.:" + LF + "1. ждать" + LF + "2. выйти"},

    // Both profiles (no language tag): each finds its own markers.
    {"no language tag", std::nullopt, "Plan: point 1 milk, point 2 bread", "Plan:" + LF + "1. milk" + LF + "2. bread",
     "en.structure.list.marker-number en.structure.list.marker-number"},

    // Spoken punctuation turns into marks before the lists are shaped, in structured only.
    {"spoken punctuation", QString("en"), "plan colon point 1 milk comma point 2 bread",
     "plan colon:" + LF + "1. milk comma" + LF + "2. bread", "en.structure.list.marker-number en.structure.list.marker-number",
     std::nullopt, "plan:" + LF + "1. milk" + LF + "2. bread"},
    {"nothing to shape", QString("ru"), "Просто текст без всякого списка.", "Просто текст без всякого списка.", ""},
};

}  // namespace

TEST(SmartCleanupListSequenceParserTest, ListStageAndWholeChainInEveryMode) {
    const SmartCleanupListProcessor stage;
    for (const Row& row : ROWS) {
        const QList<SmartCleanupLanguageProfile> profiles = SmartCleanupProfileRegistry::profiles(row.language, row.input);
        const SmartCleanupEngine engine(profiles, SmartCleanupSkillRegistry::all());

        const SmartCleanupContext context{SmartCleanupMode::clean, row.input, profiles, SmartCleanupSkillRegistry::all()};
        const SmartCleanupProcessorResult listed = stage.process(row.input, context);
        EXPECT_EQ(listed.text, row.listed) << row.name;
        EXPECT_EQ(ruleIDs(listed.trace), row.rules) << row.name;
        for (const SmartCleanupTrace& t : listed.trace) {
            EXPECT_EQ(t.stage, SmartCleanupStage::structure) << row.name;
            EXPECT_EQ(t.language, std::optional(SmartCleanupLanguageID{t.ruleID.rawValue.left(2)})) << row.name;
        }

        EXPECT_EQ(engine.process(row.input, SmartCleanupMode::literal).text, row.input) << row.name;
        const SmartCleanupResult clean = engine.process(row.input, SmartCleanupMode::clean);
        EXPECT_EQ(clean.text, row.clean.value_or(row.listed)) << row.name;
        EXPECT_EQ(clean.changes().contains("structure"), !row.rules.isEmpty()) << row.name;
        EXPECT_EQ(engine.process(row.input, SmartCleanupMode::structured).text, row.structured.value_or(clean.text)) << row.name;
    }
}

// The safe fallback keeps only marker-and-number lists.
TEST(SmartCleanupListSequenceParserTest, SkillsDecideWhichListsAreShaped) {
    const SmartCleanupEngine fallback(SmartCleanupProfileRegistry::defaultProfiles(), SmartCleanupSkillRegistry::safeFallback());
    const QString digits = "Давай запишем план. 1. Проверить работу, 2. Перезапустить, 3. Заработать.";
    EXPECT_EQ(fallback.process(digits, SmartCleanupMode::clean).text, digits);
    EXPECT_EQ(fallback.process("План, пункт 1, молоко, пункт 2, хлеб", SmartCleanupMode::clean).text,
              "План:" + LF + "1. молоко" + LF + "2. хлеб");
    const SmartCleanupEngine none(SmartCleanupProfileRegistry::defaultProfiles(), {});
    EXPECT_EQ(none.process("План, пункт 1, молоко, пункт 2, хлеб", SmartCleanupMode::clean).text, "План, пункт 1, молоко, пункт 2, хлеб");
}

TEST(SmartCleanupListSequenceParserTest, ItemPrefixes) {
    const QString sentence = "Done. x";
    const QString header = "Plan x";
    const QString lineStart = "a\nx";
    const auto r = &SmartCleanupListRenderer::replacement;
    EXPECT_EQ(r(1, true, 0, header), "1. ");
    EXPECT_EQ(r(1, true, 2, "  x"), "1. ");  // only blanks before
    EXPECT_EQ(r(1, true, 5, sentence), "\n1. ");
    EXPECT_EQ(r(1, true, 4, header), ":\n1. ");
    EXPECT_EQ(r(4, false, 4, header), "\n4. ");
    EXPECT_EQ(r(2, false, 2, lineStart), "2. ");
    EXPECT_EQ(r(1, true, 2, lineStart), "1. ");
    EXPECT_EQ(r(12, true, 2, "a\rx"), "12. ");
}

TEST(SmartCleanupListSequenceParserTest, ContentAndHeaderCues) {
    EXPECT_FALSE(SmartCleanupListSequenceParser::containsContent(u" ,.;—\n"));
    EXPECT_TRUE(SmartCleanupListSequenceParser::containsContent(u", 5"));
    EXPECT_TRUE(SmartCleanupListSequenceParser::containsContent(u"—ё"));
    EXPECT_TRUE(SmartCleanupListSequenceParser::containsContent(u"𝐀"));  // a letter outside the basic plane

    // The cue must be among the last four words before the marker, in the marker's language.
    const SmartCleanupListCandidateDetector detector;
    const auto firstCandidate = [&detector](const QString& text) {
        return detector.detect(text, SmartCleanupProfileRegistry::defaultProfiles(), SmartCleanupSkillRegistry::all()).first();
    };
    const QString near = "Вот ПЛАН на эту неделю: пункт 1 x";
    EXPECT_TRUE(SmartCleanupListSequenceParser::hasHeaderCue(firstCandidate(near), near));
    const QString far = "Вот план на эту долгую неделю: пункт 1 x";
    EXPECT_FALSE(SmartCleanupListSequenceParser::hasHeaderCue(firstCandidate(far), far));
    const QString otherLanguage = "The план: point 1 x";
    EXPECT_FALSE(SmartCleanupListSequenceParser::hasHeaderCue(firstCandidate(otherLanguage), otherLanguage));
}
