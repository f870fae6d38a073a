#pragma once
#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupListSequenceParser.h"

namespace murmelo {

// The six steps of the chain, in the order the engine runs them.

// Self-corrections: "five, actually six" keeps only the correction.
class SmartCleanupBacktrackProcessor final : public SmartCleanupProcessor {
public:
    SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const override;
};

// Hesitation words standing alone.
class SmartCleanupFillerProcessor final : public SmartCleanupProcessor {
public:
    SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const override;
};

// Spoken punctuation and line breaks; structured mode only.
class SmartCleanupCommandProcessor final : public SmartCleanupProcessor {
public:
    SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const override;
};

// Spoken lists shaped into numbered lines: markers found, grouped into lists, rendered.
class SmartCleanupListProcessor final : public SmartCleanupProcessor {
public:
    SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const override;

    SmartCleanupListCandidateDetector detector;
    SmartCleanupListSequenceParser parser;
    SmartCleanupListRenderer renderer;
};

// Number words before a unit or after an explicit cue become figures; structured mode only.
class SmartCleanupNumberProcessor final : public SmartCleanupProcessor {
public:
    SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const override;
};

// Spacing, blank lines, repeated commas and the first capital; always last.
class SmartCleanupNormalizationProcessor final : public SmartCleanupProcessor {
public:
    SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const override;
};

}  // namespace murmelo
