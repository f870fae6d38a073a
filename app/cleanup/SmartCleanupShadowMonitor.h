#pragma once
#include "cleanup/SmartCleanupMode.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

namespace murmelo {

class Defaults;

// How often the all-skills candidate would have changed a delivered dictation, for one
// rule-pack version.
struct SmartCleanupShadowSnapshot {
    QString rulePackVersion;
    qint64 evaluatedCount = 0;
    qint64 divergenceCount = 0;
    QStringList candidateRuleIDs;  // distinct, ascending

    bool operator==(const SmartCleanupShadowSnapshot&) const = default;

    QJsonObject toJson() const;
    static std::optional<SmartCleanupShadowSnapshot> fromJson(const QJsonValue& value);
};

// Watches real dictations; only counts, never changes a dictation and learns nothing.
class SmartCleanupShadowMonitor {
public:
    static inline const QString key = QStringLiteral("smartCleanup.shadow.v1");

    // Over the standard domain, looked up at each call.
    static SmartCleanupShadowMonitor& shared();
    explicit SmartCleanupShadowMonitor(Defaults* defaults = nullptr);

    // Called by dictation delivery once per dictation that goes through clean-up, before it
    // is delivered: the text after learned replacements, the mode in force, and the text
    // the rewrite guard accepted. The lock keeps each read-modify-write of the record whole;
    // the engine run happens before it is taken.
    void observe(const QString& learnedInput, SmartCleanupMode mode, const QString& activeOutput);

    SmartCleanupShadowSnapshot snapshot() const;

private:
    Defaults& defaults() const;
    SmartCleanupShadowSnapshot load() const;  // under lock_

    Defaults* defaults_;
    mutable std::mutex lock_;
};

}  // namespace murmelo
