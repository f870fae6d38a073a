#include "cleanup/CleanupSeam.h"
#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupScenarioCorpus.h"
#include "cleanup/SmartCleanupSelfLearningCoordinator.h"
#include "cleanup/SmartCleanupShadowMonitor.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include "base/Defaults.h"
#include "TestEnvironment.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

namespace R = SmartCleanupSkillRegistry;

const QString LIST_INPUT = "План, во-первых, проверить, во-вторых, перезапустить, в-третьих, заработать.";
const QString LIST_OUTPUT = "План:\n1. проверить\n2. перезапустить\n3. заработать.";
const QString ALL_SKILLS =
    "skills=[ordered-list.bare-continuation,ordered-list.discourse,ordered-list.marker-number,"
    "ordered-list.numeric-marker,ordered-list.ordinal-marker]";

// The skill runtime is process-wide: every test leaves it as the process starts it.
class SelfLearningTest : public ::testing::Test {
protected:
    SelfLearningTest() { env.clock().setNow(QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC)); }
    ~SelfLearningTest() override { SmartCleanupSkillRuntime::shared().activate(R::all()); }

    // The self-test lines written so far, without their time stamps.
    QStringList selfTestLines() const {
        QStringList out;
        for (const QString& line : env.logLines()) {
            const qsizetype at = line.indexOf("Smart Cleanup self-test: ");
            if (at >= 0) out << line.mid(at);
        }
        return out;
    }

    test::TestEnvironment env;
    SmartCleanupScenarioStore store{&env.defaults()};
};

QList<SmartCleanupScenarioCase> protectedCorpus() { return SmartCleanupSelfLearningCoordinator::defaultProtectedCorpus(); }

QList<SmartCleanupScenarioCase> without(QList<SmartCleanupScenarioCase> cases, const SmartCleanupSkillID& skill) {
    cases.removeIf([&](const SmartCleanupScenarioCase& c) { return c.requiredSkills.contains(skill); });
    return cases;
}

SmartCleanupScenarioCase confirmedCase(const QString& input, const QString& expected) {
    return {"confirmed.X", input, expected, SmartCleanupMode::clean, SmartCleanupScenarioOrigin::confirmedCorrection,
            {R::discourseOrdinal()}};
}

}  // namespace

TEST_F(SelfLearningTest, TheWholeProtectedCorpusPassesAndCoversEverySkill) {
    const auto report = SmartCleanupSelfTestEvaluator().evaluate(protectedCorpus(), R::all());
    for (const auto& f : report.failures)
        ADD_FAILURE() << f.scenarioID.toStdString() << " " << SmartCleanupEvaluationFailure::rawValue(f.reason).toStdString();
    EXPECT_EQ(report.totalCount, 302);
    EXPECT_EQ(report.passedCount, 302);
    EXPECT_EQ(report.builtInCount, 32);
    EXPECT_EQ(report.generatedCount, 270);
    EXPECT_EQ(report.coveredSkills, R::all());
}

TEST_F(SelfLearningTest, TheLaunchRunThroughTheSeamActivatesAllSkillsLogsAndSavesTheSnapshot) {
    SmartCleanupSkillRuntime::shared().activate({});
    CleanupSeam().smartCleanupSelfLearningStart();

    EXPECT_EQ(SmartCleanupSkillRuntime::shared().activeSkills(), R::all());
    EXPECT_EQ(selfTestLines(),
              QStringList{"Smart Cleanup self-test: 302/302, ошибок=0, подтверждено=0, pack=ru-en-ordered-list-v3, " +
                          ALL_SKILLS});
    const auto snapshot = SmartCleanupScenarioStore::shared().snapshot();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(*snapshot, (SmartCleanupRulePackSnapshot{R::rulePackVersion, sortedSkills(R::all()), env.clock().now(),
                                                       302, 0, 0}));
    EXPECT_EQ(SmartCleanupSelfLearningCoordinator::shared().lastReport()->passedCount, 302);
}

TEST_F(SelfLearningTest, AFailingOrIncompleteProtectedCorpusFallsBackToTheSafeSkills) {
    // A rule that no longer does what its scenario says looks, to the self-test, like this.
    auto broken = protectedCorpus();
    broken[4].expected = "План:\n1. проверить\n2. перезапустить\n3. заработать!";
    // The full run then uses the safe skills, so every list scenario of another skill fails.
    struct Row {
        const char* name;
        QList<SmartCleanupScenarioCase> corpus;
        QString start;
    } rows[] = {
        {"one failing scenario", broken, "Smart Cleanup self-test: 116/302, ошибок=186, "},
        {"a skill nothing covers", without(protectedCorpus(), R::discourseOrdinal()),
         "Smart Cleanup self-test: 116/271, ошибок=155, "},
    };
    for (const Row& row : rows) {
        SmartCleanupSkillRuntime::shared().activate(R::all());
        SmartCleanupSelfLearningCoordinator coordinator(store, {}, [&] { return row.corpus; });
        coordinator.start();
        EXPECT_EQ(SmartCleanupSkillRuntime::shared().activeSkills(), R::safeFallback()) << row.name;
        EXPECT_EQ(selfTestLines().last(),
                  row.start + "подтверждено=0, pack=ru-en-ordered-list-v3, skills=[ordered-list.marker-number]")
            << row.name;
        EXPECT_EQ(store.snapshot()->activeSkills, QList{R::markerThenNumber()}) << row.name;
    }
}

TEST_F(SelfLearningTest, ConfirmedScenariosJoinTheReportButNeverChooseTheSkills) {
    ASSERT_TRUE(store.addConfirmed(confirmedCase(LIST_INPUT, LIST_OUTPUT)));
    ASSERT_TRUE(store.addConfirmed(confirmedCase("План, во-первых, а, во-вторых, б.", "something else entirely")));
    SmartCleanupSelfLearningCoordinator coordinator(store);
    const auto report = coordinator.runEvaluation();

    EXPECT_EQ(SmartCleanupSkillRuntime::shared().activeSkills(), R::all());
    EXPECT_EQ(report.confirmedCount, 2);
    EXPECT_GT(report.generatedCount, 270) << "variants of the confirmed cases";
    EXPECT_EQ(report.totalCount, 302 + 2 + (report.generatedCount - 270));
    ASSERT_FALSE(report.failures.isEmpty());
    EXPECT_EQ(report.failures.first().scenarioID, "confirmed.X");
    const auto snapshot = store.snapshot();
    EXPECT_EQ(snapshot->failureCount, report.failures.size());
    EXPECT_EQ(snapshot->confirmedScenarioCount, 2);
    EXPECT_EQ(snapshot->totalCount, report.totalCount);
    EXPECT_EQ(coordinator.lastReport(), report);
    // Just what one run over every scenario gives.
    const auto confirmed = store.confirmedScenarios();
    EXPECT_EQ(report, SmartCleanupSelfTestEvaluator().evaluate(
                          protectedCorpus() + confirmed + SmartCleanupScenarioCorpus::generated(confirmed), R::all()));
}

TEST_F(SelfLearningTest, TheShadowMonitorCountsDivergencesPerRulePack) {
    SmartCleanupShadowMonitor monitor(&env.defaults());
    const auto stored = [&] { return env.defaults().contains(SmartCleanupShadowMonitor::key); };

    monitor.observe(LIST_INPUT, SmartCleanupMode::literal, LIST_INPUT);
    monitor.observe("", SmartCleanupMode::clean, "");
    EXPECT_FALSE(stored()) << "literal dictations and empty texts are not observed";
    EXPECT_EQ(monitor.snapshot(), (SmartCleanupShadowSnapshot{R::rulePackVersion, 0, 0, {}}));

    // Delivered as recognised (say the live clean-up had the safe skills only): a divergence.
    monitor.observe(LIST_INPUT, SmartCleanupMode::clean, LIST_INPUT);
    auto shadow = monitor.snapshot();
    EXPECT_EQ(shadow.evaluatedCount, 1);
    EXPECT_EQ(shadow.divergenceCount, 1);
    ASSERT_FALSE(shadow.candidateRuleIDs.isEmpty());
    EXPECT_TRUE(shadow.candidateRuleIDs.contains("ru.structure.list.discourse")) << shadow.candidateRuleIDs.join(' ').toStdString();
    QStringList sorted = shadow.candidateRuleIDs;
    sorted.sort();
    sorted.removeDuplicates();
    EXPECT_EQ(shadow.candidateRuleIDs, sorted);

    // The same text as the candidate: counted, and the last divergence's rules stay.
    monitor.observe(LIST_INPUT, SmartCleanupMode::clean, LIST_OUTPUT);
    EXPECT_EQ(monitor.snapshot(), (SmartCleanupShadowSnapshot{R::rulePackVersion, 2, 1, shadow.candidateRuleIDs}));

    // A divergence where the candidate changed nothing leaves no rule ids.
    monitor.observe("просто текст", SmartCleanupMode::clean, "Просто текст.");
    EXPECT_EQ(monitor.snapshot(), (SmartCleanupShadowSnapshot{R::rulePackVersion, 3, 2, {}}));
}

TEST_F(SelfLearningTest, TheShadowRecordStartsOverForANewPackOrUnreadableData) {
    SmartCleanupShadowMonitor monitor(&env.defaults());
    const auto write = [&](const QByteArray& data) { env.defaults().set(SmartCleanupShadowMonitor::key, data); };
    const SmartCleanupShadowSnapshot old{"ru-en-ordered-list-v2", 40, 7, {"a"}};
    for (const QByteArray& data : {QJsonDocument(old.toJson()).toJson(), QByteArray("[1,2]"),
                                   QByteArray("{\"rulePackVersion\":\"ru-en-ordered-list-v3\",\"evaluatedCount\":1}")}) {
        write(data);
        EXPECT_EQ(monitor.snapshot(), (SmartCleanupShadowSnapshot{R::rulePackVersion, 0, 0, {}})) << data.toStdString();
        EXPECT_EQ(env.defaults().dataValue(SmartCleanupShadowMonitor::key), data) << "reading never writes";
        monitor.observe(LIST_INPUT, SmartCleanupMode::clean, LIST_OUTPUT);
        EXPECT_EQ(monitor.snapshot(), (SmartCleanupShadowSnapshot{R::rulePackVersion, 1, 0, {}})) << data.toStdString();
    }
}
