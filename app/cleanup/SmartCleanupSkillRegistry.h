#pragma once
#include "cleanup/SmartCleanupLanguageProfile.h"

#include <QSet>
#include <QString>

#include <mutex>

namespace murmelo {

// The list skills the list processor may use, and the version of the rule pack they form.
namespace SmartCleanupSkillRegistry {

const SmartCleanupSkillID& markerThenNumber();
const SmartCleanupSkillID& ordinalThenMarker();
const SmartCleanupSkillID& discourseOrdinal();
const SmartCleanupSkillID& bareOrdinalContinuation();
const SmartCleanupSkillID& standaloneNumeric();

const QSet<SmartCleanupSkillID>& all();
// What the self-test falls back to when the built-in scenarios do not all pass.
const QSet<SmartCleanupSkillID>& safeFallback();

inline const QString rulePackVersion = QStringLiteral("ru-en-ordered-list-v3");

}  // namespace SmartCleanupSkillRegistry

// The skills in force for dictations; the self-test changes them after each evaluation.
class SmartCleanupSkillRuntime {
public:
    static SmartCleanupSkillRuntime& shared();

    QSet<SmartCleanupSkillID> activeSkills() const;
    void activate(const QSet<SmartCleanupSkillID>& skills);

private:
    SmartCleanupSkillRuntime();

    mutable std::mutex lock_;
    QSet<SmartCleanupSkillID> active_;
};

}  // namespace murmelo
