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
};

}  // namespace murmelo
