#include "cleanup/CleanupMenuSections.h"
#include "cleanup/SmartCleanupLearningController.h"
#include "cleanup/SmartCleanupSkillRegistry.h"
#include "cleanup/SmartCleanupStructureLearner.h"

#include "TestEnvironment.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

namespace R = SmartCleanupSkillRegistry;
namespace L = SmartCleanupStructureLearner;

const QString LIST_SOURCE = "План, во-первых, проверить, во-вторых, перезапустить, в-третьих, заработать.";
const QString LIST_CLEAN = "План:\n1. проверить\n2. перезапустить\n3. заработать.";

SmartCleanupTrace entry(SmartCleanupStage stage, const QString& rule) {
    return {stage, {rule}, SmartCleanupLanguageID::russian()};
}

}  // namespace

TEST(SmartCleanupStructureLearnerTest, OnlyAContentKeepingNumberedListBecomesAScenario) {
    const auto longList = [](int first) {
        const QString a(first, QChar(u'а')), b(1000, QChar(u'б'));
        return std::pair{a + " " + b, "1. " + a + "\n2. " + b};
    };
    const auto [source2000, list2000] = longList(993);
    const auto [source2001, list2001] = longList(994);
    ASSERT_EQ(list2001.size(), 2001);
    struct Row {
        const char* name;
        QString source, corrected;
        bool made;
    } rows[] = {
        {"only trimmed", "  купить хлеб\n", "купить хлеб", false},
        {"empty correction", "купить хлеб", "  \n", false},
        {"one numbered line", "купить хлеб", "1. купить хлеб", false},
        {"full stop and parenthesis", "купить хлеб и молоко", "1. купить хлеб\n2) и молоко", true},
        {"marker glued to the word", "купить хлеб и молоко", "1.купить хлеб\n2.и молоко", false},
        {"2000 characters", source2000, list2000, true},
        {"2001 characters", source2001, list2001, false},
        {"3 of 4 content words", "купить хлеб молоко", "1. купить хлеб\n2. молоко сыр", true},
        {"2 of 3 content words", "купить хлеб", "1. купить хлеб\n2. сыр", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(L::scenario(row.source, row.corrected).has_value(), row.made) << row.name;
    }
}

TEST(SmartCleanupStructureLearnerTest, TheScenarioCarriesTheTextsAndTheSkillsTheEngineUsed) {
    const auto s = L::scenario("  " + LIST_SOURCE + "\n", LIST_CLEAN + "\n");
    ASSERT_TRUE(s);
    EXPECT_TRUE(QRegularExpression("^confirmed\\.[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(s->id)
                    .hasMatch())
        << s->id.toStdString();
    EXPECT_EQ(s->input, LIST_SOURCE);
    EXPECT_EQ(s->expected, LIST_CLEAN);
    EXPECT_EQ(s->mode, SmartCleanupMode::clean);
    EXPECT_EQ(s->origin, SmartCleanupScenarioOrigin::confirmedCorrection);
    EXPECT_EQ(s->requiredSkills, QList{R::discourseOrdinal()});
    EXPECT_NE(L::scenario(LIST_SOURCE, LIST_CLEAN)->id, s->id);

    // The user's list is not what the engine makes: still a scenario, without skills.
    const auto other = L::scenario(LIST_SOURCE, "План:\n1) проверить\n2) перезапустить\n3) заработать");
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->requiredSkills.isEmpty());
}

TEST(SmartCleanupStructureLearnerTest, OverlapCountsContentWordsAndMapsStructureRulesToSkills) {
    EXPECT_DOUBLE_EQ(L::contentOverlap("Купить хлеб, молоко", "1. купить\n2. ХЛЕБ!\n3. сыр\n4. молоко"), 0.75);
    EXPECT_DOUBLE_EQ(L::contentOverlap("a b", "1. 2. 3. -4 +5"), 0.0) << "numbers are not content";
    EXPECT_DOUBLE_EQ(L::contentOverlap("a", "99999999999999999999 a"), 0.5) << "beyond 64 bits it is a word";

    const QList<SmartCleanupTrace> trace = {
        entry(SmartCleanupStage::structure, "ru.structure.list.ordinal-marker"),
        entry(SmartCleanupStage::structure, "en.structure.list.bare-continuation"),
        entry(SmartCleanupStage::backtrack, "ru.backtrack.discourse"),
        entry(SmartCleanupStage::structure, "ru.structure.list.unknown"),
        entry(SmartCleanupStage::structure, "ru.structure.list.numeric-marker"),
        entry(SmartCleanupStage::structure, "ru.structure.list.marker-number"),
        entry(SmartCleanupStage::fillers, "ru.structure.list.discourse"),
    };
    EXPECT_EQ(L::skills(trace), (QSet{R::ordinalThenMarker(), R::bareOrdinalContinuation(), R::standaloneNumeric(),
                                      R::markerThenNumber()}));
}

TEST(SmartCleanupLearningStatusTest, TheStatusAlertSpellsTheReportAndTheShadowCounts) {
    SmartCleanupEvaluationReport report{"ru-en-ordered-list-v3", 305, 32, 272, 1, 302, {}, {},
                                        {R::standaloneNumeric(), R::discourseOrdinal()}};
    const SmartCleanupShadowSnapshot shadow{"ru-en-ordered-list-v3", 12, 3, {}};
    report.failures = {{"a", SmartCleanupEvaluationFailure::Reason::outputMismatch},
                       {"a", SmartCleanupEvaluationFailure::Reason::emptyOutput},
                       {"b", SmartCleanupEvaluationFailure::Reason::nonIdempotent}};
    const auto alert = SmartCleanupAlert::status(report, shadow);
    EXPECT_EQ(alert.message, "Обработка диктовки: самопроверка");
    EXPECT_EQ(alert.informativeText,
              "Есть 3 непрошедших проверок. Новые неподтверждённые изменения не активируются.\n\n"
              "Сценарии: 302/305\nВстроенные: 32\nСгенерированные: 272\nПодтверждённые тобой: 1\n"
              "Теневые прогоны: 12\nРасхождения активного и кандидатного пакета: 3\nПакет: ru-en-ordered-list-v3\n"
              "Активные навыки: ordered-list.discourse, ordered-list.numeric-marker\n\n"
              "Содержание диктовок автоматически не сохраняется. В локальный корпус попадают только примеры, "
              "которые ты явно подтверждаешь через исправление последней диктовки.");
    EXPECT_EQ(alert.buttons, (QStringList{"Закрыть", "Удалить мои сценарии"}));

    report.failures.clear();
    report.confirmedCount = 0;
    report.activeSkills.clear();
    const auto clean = SmartCleanupAlert::status(report, shadow);
    EXPECT_TRUE(clean.informativeText.startsWith("Все проверки пройдены.\n\nСценарии: "));
    EXPECT_TRUE(clean.informativeText.contains("\nАктивные навыки: \n\nСодержание"));
    EXPECT_EQ(clean.buttons, QStringList{"Закрыть"});
}

namespace {

class LearningControllerTest : public ::testing::Test {
protected:
    ~LearningControllerTest() override {
        SmartCleanupAlert::setRunner(nullptr);
        SmartCleanupSkillRuntime::shared().activate(R::all());
    }
    // Answers the alerts in turn and keeps what was shown.
    void answer(QList<int> answers) {
        SmartCleanupAlert::setRunner([this, answers](const SmartCleanupAlert& a) mutable {
            shown << a;
            return answers.isEmpty() ? -1 : answers.takeFirst();
        });
    }
    void confirmOne() {
        auto s = L::scenario(LIST_SOURCE, LIST_CLEAN);
        ASSERT_TRUE(s && SmartCleanupScenarioStore::shared().addConfirmed(*s));
    }

    test::TestEnvironment env;
    QList<SmartCleanupAlert> shown;
};

}  // namespace

TEST_F(LearningControllerTest, TheMenuLineOpensTheStatusWhichRunsAFreshEvaluation) {
    confirmOne();
    SmartCleanupSkillRuntime::shared().activate({});
    answer({0});
    CleanupSelfTestMenuSection().trigger("openSmartCleanupLearning", nullptr);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].informativeText.startsWith("Все проверки пройдены.")) << shown[0].informativeText.toStdString();
    EXPECT_TRUE(shown[0].informativeText.contains("\nПодтверждённые тобой: 1\n"));
    EXPECT_EQ(SmartCleanupSkillRuntime::shared().activeSkills(), R::all());
    EXPECT_EQ(SmartCleanupScenarioStore::shared().confirmedScenarios().size(), 1);
}

TEST_F(LearningControllerTest, DeletingTheUsersScenariosAsksFirstThenReevaluates) {
    confirmOne();
    answer({1, 1});
    SmartCleanupLearningController::shared().showStatus();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1], SmartCleanupAlert::deleteConfirmed());
    EXPECT_EQ(shown[1].buttons, (QStringList{"Удалить", "Отмена"}));
    EXPECT_EQ(SmartCleanupScenarioStore::shared().confirmedScenarios().size(), 1) << "cancelled";

    shown.clear();
    answer({1, 0});
    SmartCleanupLearningController::shared().showStatus();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(SmartCleanupScenarioStore::shared().confirmedScenarios().isEmpty());
    EXPECT_EQ(SmartCleanupScenarioStore::shared().snapshot()->confirmedScenarioCount, 0) << "evaluated again";
    EXPECT_TRUE(env.logContains("Smart Cleanup learning: подтверждённые сценарии удалены"));
}
