#include "cleanup/SmartCleanupProcessors.h"

#include "cleanup/SmartCleanupListSequenceParser.h"

namespace murmelo {

SmartCleanupProcessorResult SmartCleanupListProcessor::process(const QString& text, const SmartCleanupContext& context) const {
    const QList<SmartCleanupListCandidate> candidates = detector.detect(text, context.profiles, context.enabledSkills);
    const QList<SmartCleanupListSequence> sequences = parser.parse(candidates, text);
    if (sequences.isEmpty()) return SmartCleanupProcessorResult::unchanged(text);
    return renderer.render(sequences, text);
}

}  // namespace murmelo
