#pragma once
#include "cleanup/SmartCleanupScenarioStore.h"

#include <QList>
#include <QSet>

namespace murmelo {

// Runs scenarios through the engine with every default profile and the given skills, and
// reports each property a scenario violates. Pure: reads no settings, writes nothing.
struct SmartCleanupSelfTestEvaluator {
    SmartCleanupEvaluationReport evaluate(const QList<SmartCleanupScenarioCase>& scenarios,
                                          const QSet<SmartCleanupSkillID>& enabledSkills) const;
    // The same scenarios added to a report made with the same skills: what evaluating both
    // lists at once would have given.
    SmartCleanupEvaluationReport evaluate(const QList<SmartCleanupScenarioCase>& scenarios,
                                          SmartCleanupEvaluationReport report) const;
};

}  // namespace murmelo
