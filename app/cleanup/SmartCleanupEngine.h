#pragma once
#include "cleanup/SmartCleanupLanguageProfile.h"
#include "cleanup/SmartCleanupMode.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace murmelo {

// The kind of change a trace entry records, in chain order.
enum class SmartCleanupStage {
    backtrack,
    fillers,
    structure,
    numbers,
    normalization,
};

QString rawValue(SmartCleanupStage stage);

// One rule that changed the text.
struct SmartCleanupTrace {
    SmartCleanupStage stage;
    SmartCleanupRuleID ruleID;
    std::optional<SmartCleanupLanguageID> language;  // none for rules of no language
    bool operator==(const SmartCleanupTrace&) const = default;
};

// What every processor gets besides the current text; fixed for the whole run.
struct SmartCleanupContext {
    SmartCleanupMode mode = SmartCleanupMode::literal;
    QString original;  // the text as it entered the engine
    QList<SmartCleanupLanguageProfile> profiles;
    QSet<SmartCleanupSkillID> enabledSkills;
};

struct SmartCleanupProcessorResult {
    QString text;
    QList<SmartCleanupTrace> trace;

    static SmartCleanupProcessorResult unchanged(const QString& text) { return {text, {}}; }
};

struct SmartCleanupResult {
    QString original;
    QString text;
    QList<SmartCleanupTrace> trace;

    // The stages that changed the text, each once in order of first appearance, without
    // normalisation: what delivery keeps with the prepared dictation.
    QStringList changes() const;
    bool operator==(const SmartCleanupResult&) const = default;
};

// One step of the chain. Implementations are stateless; a processor that changes nothing
// returns its input and an empty trace.
class SmartCleanupProcessor {
public:
    virtual ~SmartCleanupProcessor() = default;
    virtual SmartCleanupProcessorResult process(const QString& text, const SmartCleanupContext& context) const = 0;
};

// The rule engine: pure, no state between runs, no log of its own.
struct SmartCleanupEngine {
    QList<SmartCleanupLanguageProfile> profiles;
    QSet<SmartCleanupSkillID> enabledSkills;

    // Both default profiles and every list skill.
    SmartCleanupEngine();
    SmartCleanupEngine(QList<SmartCleanupLanguageProfile> profiles, QSet<SmartCleanupSkillID> enabledSkills);

    SmartCleanupResult process(const QString& text, SmartCleanupMode mode) const;
};

// What dictation delivery calls: the profiles for the reported language and the text, and
// the list skills in force at the time of the call.
namespace SmartCleanup {
SmartCleanupResult process(const QString& text, SmartCleanupMode mode, const std::optional<QString>& language);
}

}  // namespace murmelo
