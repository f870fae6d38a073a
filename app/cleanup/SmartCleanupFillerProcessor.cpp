#include "cleanup/SmartCleanupProcessors.h"

#include "cleanup/SmartCleanupRegex.h"

namespace murmelo {

SmartCleanupProcessorResult SmartCleanupFillerProcessor::process(const QString& text, const SmartCleanupContext& context) const {
    QString current = text;
    QList<SmartCleanupTrace> trace;
    for (const SmartCleanupLanguageProfile& profile : context.profiles) {
        for (const SmartCleanupFillerRule& rule : profile.fillerRules) {
            // The filler must stand alone ("umbrella", "uh-huh", "um.txt" and the "э" of
            // "это" stay); it takes the blanks after it and at most one , ; or : with them.
            const QString pattern = QStringLiteral(R"((?<![\p{L}\p{N}/@._-]))") + rule.tokenPattern +
                                    QStringLiteral(R"((?![\p{L}\p{N}/@._-])(?:[ \t]*[,;:]?[ \t]*))");
            const QString next = SmartCleanupRegex::replace(
                SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive), current, QString());
            if (next != current) {
                trace.append({SmartCleanupStage::fillers, rule.id, profile.id});
                current = next;
            }
        }
    }
    return {current, trace};
}

}  // namespace murmelo
