#include "cleanup/SmartCleanupSelfLearningCoordinator.h"

#include "base/Log.h"
#include "cleanup/SmartCleanupScenarioCorpus.h"
#include "cleanup/SmartCleanupSkillRegistry.h"
#include "platform/MainQueue.h"

#include <QStringList>

namespace murmelo {

SmartCleanupSelfLearningCoordinator& SmartCleanupSelfLearningCoordinator::shared() {
    static SmartCleanupSelfLearningCoordinator coordinator;
    return coordinator;
}

QList<SmartCleanupScenarioCase> SmartCleanupSelfLearningCoordinator::defaultProtectedCorpus() {
    return SmartCleanupScenarioCorpus::builtIn() + SmartCleanupScenarioCorpus::generated();
}

SmartCleanupSelfLearningCoordinator::SmartCleanupSelfLearningCoordinator(SmartCleanupScenarioStore& store,
                                                                         SmartCleanupSelfTestEvaluator evaluator,
                                                                         CorpusProvider protectedCorpusProvider)
    : store_(store), evaluator_(evaluator), protectedCorpusProvider_(std::move(protectedCorpusProvider)) {}

SmartCleanupEvaluationReport SmartCleanupSelfLearningCoordinator::runEvaluation() {
    const QList<SmartCleanupScenarioCase> protectedCorpus = protectedCorpusProvider_();

    // Only the protected corpus decides: all skills when it passes whole and covers each one.
    const QSet<SmartCleanupSkillID>& all = SmartCleanupSkillRegistry::all();
    const SmartCleanupEvaluationReport gate = evaluator_.evaluate(protectedCorpus, all);
    const bool allCovered = gate.coveredSkills.contains(all);
    const QSet<SmartCleanupSkillID> chosen =
        gate.succeeded() && allCovered ? all : SmartCleanupSkillRegistry::safeFallback();
    SmartCleanupSkillRuntime::shared().activate(chosen);

    const QList<SmartCleanupScenarioCase> confirmed = store_.confirmedScenarios();
    const QList<SmartCleanupScenarioCase> derived = SmartCleanupScenarioCorpus::generated(confirmed);
    // With every skill chosen the gate has just run the protected corpus with exactly these
    // skills, and the engine is a pure function of text and skills: its results stand, and
    // only the user's scenarios are added. The launch's self-test costs half as much.
    const SmartCleanupEvaluationReport report = chosen == all
                                                    ? evaluator_.evaluate(confirmed + derived, gate)
                                                    : evaluator_.evaluate(protectedCorpus + confirmed + derived, chosen);

    store_.saveSnapshot({SmartCleanupSkillRegistry::rulePackVersion, sortedSkills(chosen), Clock::shared().now(),
                         report.totalCount, report.failures.size(), report.confirmedCount});

    std::lock_guard guard(lock_);
    latest_ = report;
    return report;
}

void SmartCleanupSelfLearningCoordinator::start() {
    const SmartCleanupEvaluationReport report = runEvaluation();
    QStringList skills;
    for (const SmartCleanupSkillID& s : sortedSkills(report.activeSkills)) skills << s.rawValue;
    logLine(QStringLiteral("Smart Cleanup self-test: %1/%2, ошибок=%3, подтверждено=%4, pack=%5, skills=[%6]")
                .arg(report.passedCount)
                .arg(report.totalCount)
                .arg(report.failures.size())
                .arg(report.confirmedCount)
                .arg(report.rulePackVersion, skills.join(u',')));
}

std::optional<SmartCleanupEvaluationReport> SmartCleanupSelfLearningCoordinator::lastReport() const {
    std::lock_guard guard(lock_);
    return latest_;
}

}  // namespace murmelo
