#include "cleanup/SmartCleanupEngine.h"

#include "cleanup/SmartCleanupProcessors.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <array>

namespace murmelo {

QString rawValue(SmartCleanupStage stage) {
    switch (stage) {
    case SmartCleanupStage::backtrack: return QStringLiteral("backtrack");
    case SmartCleanupStage::fillers: return QStringLiteral("fillers");
    case SmartCleanupStage::structure: return QStringLiteral("structure");
    case SmartCleanupStage::numbers: return QStringLiteral("numbers");
    case SmartCleanupStage::normalization: return QStringLiteral("normalization");
    }
    return {};
}

QStringList SmartCleanupResult::changes() const {
    QStringList out;
    QSet<SmartCleanupStage> seen;
    for (const SmartCleanupTrace& t : trace) {
        if (t.stage == SmartCleanupStage::normalization || seen.contains(t.stage)) continue;
        seen.insert(t.stage);
        out.append(rawValue(t.stage));
    }
    return out;
}

SmartCleanupEngine::SmartCleanupEngine()
    : SmartCleanupEngine(SmartCleanupProfileRegistry::defaultProfiles(), SmartCleanupSkillRegistry::all()) {}

SmartCleanupEngine::SmartCleanupEngine(QList<SmartCleanupLanguageProfile> profiles, QSet<SmartCleanupSkillID> enabledSkills)
    : profiles(std::move(profiles)), enabledSkills(std::move(enabledSkills)) {}

SmartCleanupResult SmartCleanupEngine::process(const QString& text, SmartCleanupMode mode) const {
    if (mode == SmartCleanupMode::literal) return {text, text, {}};

    const SmartCleanupContext context{mode, text, profiles, enabledSkills};

    // Fixed order: each step sees what the earlier ones left, so a filler inside a clause a
    // self-correction drops goes with the clause, and normalisation always has the last word.
    static const SmartCleanupBacktrackProcessor backtrack;
    static const SmartCleanupFillerProcessor fillers;
    static const SmartCleanupCommandProcessor commands;
    static const SmartCleanupListProcessor lists;
    static const SmartCleanupNumberProcessor numbers;
    static const SmartCleanupNormalizationProcessor normalization;
    static const std::array<const SmartCleanupProcessor*, 6> chain = {&backtrack, &fillers, &commands,
                                                                      &lists,     &numbers, &normalization};

    QString current = text;
    QList<SmartCleanupTrace> trace;
    for (const SmartCleanupProcessor* processor : chain) {
        SmartCleanupProcessorResult step = processor->process(current, context);
        current = std::move(step.text);
        trace.append(step.trace);
    }
    return {text, current, trace};
}

namespace SmartCleanup {

SmartCleanupResult process(const QString& text, SmartCleanupMode mode, const std::optional<QString>& language) {
    const QList<SmartCleanupLanguageProfile> profiles = SmartCleanupProfileRegistry::profiles(language, text);
    const QSet<SmartCleanupSkillID> skills = SmartCleanupSkillRuntime::shared().activeSkills();
    return SmartCleanupEngine(profiles, skills).process(text, mode);
}

}  // namespace SmartCleanup
}  // namespace murmelo
