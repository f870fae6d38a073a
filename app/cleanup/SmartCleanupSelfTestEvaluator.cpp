#include "cleanup/SmartCleanupSelfTestEvaluator.h"

#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

namespace murmelo {

SmartCleanupEvaluationReport SmartCleanupSelfTestEvaluator::evaluate(const QList<SmartCleanupScenarioCase>& scenarios,
                                                                    const QSet<SmartCleanupSkillID>& enabledSkills) const {
    SmartCleanupEvaluationReport report;
    report.rulePackVersion = SmartCleanupSkillRegistry::rulePackVersion;
    report.activeSkills = enabledSkills;
    return evaluate(scenarios, std::move(report));
}

SmartCleanupEvaluationReport SmartCleanupSelfTestEvaluator::evaluate(const QList<SmartCleanupScenarioCase>& scenarios,
                                                                    SmartCleanupEvaluationReport report) const {
    using Reason = SmartCleanupEvaluationFailure::Reason;
    // No language guess here: every profile, as the dictation would get without a language.
    const SmartCleanupEngine engine(SmartCleanupProfileRegistry::defaultProfiles(), report.activeSkills);

    for (const SmartCleanupScenarioCase& scenario : scenarios) {
        ++report.totalCount;
        switch (scenario.origin) {
        case SmartCleanupScenarioOrigin::builtIn: ++report.builtInCount; break;
        case SmartCleanupScenarioOrigin::generated: ++report.generatedCount; break;
        case SmartCleanupScenarioOrigin::confirmedCorrection: ++report.confirmedCount; break;
        }

        QList<Reason> reasons;
        const QString output = engine.process(scenario.input, scenario.mode).text;
        if (!sameCleanupText(output, scenario.expected)) reasons << Reason::outputMismatch;
        const QString literal = engine.process(scenario.input, SmartCleanupMode::literal).text;
        if (!sameCleanupText(literal, scenario.input)) reasons << Reason::literalMutation;
        if (!scenario.input.isEmpty() && output.isEmpty()) reasons << Reason::emptyOutput;
        const QString again = engine.process(output, scenario.mode).text;
        if (!sameCleanupText(again, output)) reasons << Reason::nonIdempotent;

        if (reasons.isEmpty()) {
            ++report.passedCount;
            for (const SmartCleanupSkillID& skill : scenario.requiredSkills) report.coveredSkills.insert(skill);
        }
        for (Reason reason : reasons) report.failures << SmartCleanupEvaluationFailure{scenario.id, reason};
    }
    return report;
}

}  // namespace murmelo
