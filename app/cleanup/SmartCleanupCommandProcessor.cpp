#include "cleanup/SmartCleanupProcessors.h"

#include "cleanup/SmartCleanupRegex.h"

namespace murmelo {

SmartCleanupProcessorResult SmartCleanupCommandProcessor::process(const QString& text, const SmartCleanupContext& context) const {
    if (context.mode != SmartCleanupMode::structured) return SmartCleanupProcessorResult::unchanged(text);
    QString current = text;
    QList<SmartCleanupTrace> trace;
    for (const SmartCleanupLanguageProfile& profile : context.profiles) {
        for (const SmartCleanupCommandRule& rule : profile.commandRules) {
            // Spaces around the command stay; normalisation tidies them afterwards.
            const QString pattern =
                QStringLiteral(R"((?<![\p{L}\p{N}])(?:)") + rule.phrasePattern + QStringLiteral(R"()(?![\p{L}\p{N}]))");
            const QString next = SmartCleanupRegex::replace(
                SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive), current, rule.replacement);
            if (next != current) {
                trace.append({SmartCleanupStage::structure, rule.id, profile.id});
                current = next;
            }
        }
    }
    return {current, trace};
}

}  // namespace murmelo
