#include "cleanup/SmartCleanupSkillRegistry.h"

namespace murmelo {
namespace SmartCleanupSkillRegistry {

const SmartCleanupSkillID& markerThenNumber() {
    static const SmartCleanupSkillID id{QStringLiteral("ordered-list.marker-number")};
    return id;
}

const SmartCleanupSkillID& ordinalThenMarker() {
    static const SmartCleanupSkillID id{QStringLiteral("ordered-list.ordinal-marker")};
    return id;
}

const SmartCleanupSkillID& discourseOrdinal() {
    static const SmartCleanupSkillID id{QStringLiteral("ordered-list.discourse")};
    return id;
}

const SmartCleanupSkillID& bareOrdinalContinuation() {
    static const SmartCleanupSkillID id{QStringLiteral("ordered-list.bare-continuation")};
    return id;
}

const SmartCleanupSkillID& standaloneNumeric() {
    static const SmartCleanupSkillID id{QStringLiteral("ordered-list.numeric-marker")};
    return id;
}

const QSet<SmartCleanupSkillID>& all() {
    static const QSet<SmartCleanupSkillID> skills = {markerThenNumber(), ordinalThenMarker(), discourseOrdinal(),
                                                     bareOrdinalContinuation(), standaloneNumeric()};
    return skills;
}

const QSet<SmartCleanupSkillID>& safeFallback() {
    static const QSet<SmartCleanupSkillID> skills = {markerThenNumber()};
    return skills;
}

}  // namespace SmartCleanupSkillRegistry

SmartCleanupSkillRuntime& SmartCleanupSkillRuntime::shared() {
    static SmartCleanupSkillRuntime runtime;
    return runtime;
}

SmartCleanupSkillRuntime::SmartCleanupSkillRuntime() : active_(SmartCleanupSkillRegistry::all()) {}

QSet<SmartCleanupSkillID> SmartCleanupSkillRuntime::activeSkills() const {
    std::lock_guard guard(lock_);
    return active_;
}

void SmartCleanupSkillRuntime::activate(const QSet<SmartCleanupSkillID>& skills) {
    QSet<SmartCleanupSkillID> next = skills;
    std::lock_guard guard(lock_);
    active_.swap(next);
}

}  // namespace murmelo
