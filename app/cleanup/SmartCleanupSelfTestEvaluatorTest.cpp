#include "cleanup/SmartCleanupScenarioCorpus.h"
#include "cleanup/SmartCleanupSelfTestEvaluator.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

namespace R = SmartCleanupSkillRegistry;
using Reason = SmartCleanupEvaluationFailure::Reason;

SmartCleanupScenarioCase scenario(const QString& id, const QString& input, const QString& expected,
                                  QList<SmartCleanupSkillID> skills = {},
                                  SmartCleanupScenarioOrigin origin = SmartCleanupScenarioOrigin::builtIn) {
    return {id, input, expected, SmartCleanupMode::clean, origin, skills};
}

const QString LIST_INPUT = "План, во-первых, проверить, во-вторых, перезапустить, в-третьих, заработать.";
const QString LIST_OUTPUT = "План:\n1. проверить\n2. перезапустить\n3. заработать.";

}  // namespace

TEST(SmartCleanupSelfTestEvaluatorTest, AnEmptyListReportsNothingButTheSkillsGiven) {
    const auto report = SmartCleanupSelfTestEvaluator().evaluate({}, R::safeFallback());
    EXPECT_EQ(report, (SmartCleanupEvaluationReport{R::rulePackVersion, 0, 0, 0, 0, 0, {}, {}, R::safeFallback()}));
    EXPECT_TRUE(report.succeeded());
}

TEST(SmartCleanupSelfTestEvaluatorTest, EachScenarioGetsItsFailuresInOrderAndOnlyPassesCover) {
    const QList<SmartCleanupScenarioCase> cases = {
        scenario("list", LIST_INPUT, LIST_OUTPUT, {R::discourseOrdinal()}),
        scenario("empty", "", ""),
        // Canonically equivalent: a composed "й" against "и" with a combining breve.
        scenario("nfc", "Мой край.", QString::fromUtf8("Мои\u0306 край.")),
        scenario("blank", " \n\t ", "something", {R::standaloneNumeric()}, SmartCleanupScenarioOrigin::generated),
        scenario("wrong", "Открой раздел номер один.", "Открой раздел №1.", {R::markerThenNumber()},
                 SmartCleanupScenarioOrigin::confirmedCorrection),
    };
    const auto report = SmartCleanupSelfTestEvaluator().evaluate(cases, R::all());
    EXPECT_EQ(report.failures, (QList<SmartCleanupEvaluationFailure>{
                                   {"blank", Reason::outputMismatch}, {"blank", Reason::emptyOutput},
                                   {"wrong", Reason::outputMismatch}}));
    EXPECT_EQ(report.totalCount, 5);
    EXPECT_EQ(report.passedCount, 3);
    EXPECT_EQ(report.builtInCount, 3);
    EXPECT_EQ(report.generatedCount, 1);
    EXPECT_EQ(report.confirmedCount, 1);
    EXPECT_EQ(report.coveredSkills, QSet{R::discourseOrdinal()});
    EXPECT_EQ(report.activeSkills, R::all());
}

TEST(SmartCleanupSelfTestEvaluatorTest, ASkillTheEngineIsNotGivenFailsItsScenarios) {
    const auto report =
        SmartCleanupSelfTestEvaluator().evaluate({scenario("list", LIST_INPUT, LIST_OUTPUT, {R::discourseOrdinal()})},
                                                 R::safeFallback());
    EXPECT_EQ(report.failures, (QList<SmartCleanupEvaluationFailure>{{"list", Reason::outputMismatch}}));
    EXPECT_TRUE(report.coveredSkills.isEmpty());
}
