#pragma once
#include "cleanup/SmartCleanupLanguageProfile.h"
#include "cleanup/SmartCleanupMode.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace murmelo {

class Defaults;

enum class SmartCleanupScenarioOrigin {
    builtIn,
    generated,
    confirmedCorrection,
};

namespace SmartCleanupScenarioOrigins {
QString rawValue(SmartCleanupScenarioOrigin origin);
std::optional<SmartCleanupScenarioOrigin> fromRawValue(const QString& raw);
}  // namespace SmartCleanupScenarioOrigins

// One self-test scenario: what is dictated and the exact text the engine must make of it.
struct SmartCleanupScenarioCase {
    QString id;
    QString input;
    QString expected;
    SmartCleanupMode mode = SmartCleanupMode::clean;
    SmartCleanupScenarioOrigin origin = SmartCleanupScenarioOrigin::builtIn;
    QList<SmartCleanupSkillID> requiredSkills;

    bool operator==(const SmartCleanupScenarioCase&) const = default;

    QJsonObject toJson() const;
    // Every key is required; an unknown mode or origin does not decode.
    static std::optional<SmartCleanupScenarioCase> fromJson(const QJsonValue& value);
};

struct SmartCleanupEvaluationFailure {
    enum class Reason { outputMismatch, literalMutation, nonIdempotent, emptyOutput };

    QString scenarioID;
    Reason reason = Reason::outputMismatch;

    bool operator==(const SmartCleanupEvaluationFailure&) const = default;

    static QString rawValue(Reason reason);
    static std::optional<Reason> reasonFromRawValue(const QString& raw);
    QJsonObject toJson() const;
    static std::optional<SmartCleanupEvaluationFailure> fromJson(const QJsonValue& value);
};

struct SmartCleanupEvaluationReport {
    QString rulePackVersion;
    qint64 totalCount = 0;
    qint64 builtInCount = 0;
    qint64 generatedCount = 0;
    qint64 confirmedCount = 0;
    qint64 passedCount = 0;
    QList<SmartCleanupEvaluationFailure> failures;
    QSet<SmartCleanupSkillID> coveredSkills;
    QSet<SmartCleanupSkillID> activeSkills;

    bool succeeded() const { return failures.isEmpty(); }
    bool operator==(const SmartCleanupEvaluationReport&) const = default;
};

// What the last evaluation activated and found.
struct SmartCleanupRulePackSnapshot {
    QString version;
    QList<SmartCleanupSkillID> activeSkills;  // ascending by raw text
    QDateTime evaluatedAt;
    qint64 totalCount = 0;
    qint64 failureCount = 0;
    qint64 confirmedScenarioCount = 0;

    bool operator==(const SmartCleanupRulePackSnapshot&) const = default;

    // The date is written as seconds since 2001-01-01 00:00:00 UTC.
    QJsonObject toJson() const;
    static std::optional<SmartCleanupRulePackSnapshot> fromJson(const QJsonValue& value);
};

// Skill ids ascending by raw text: how lists of them are stored and shown.
QList<SmartCleanupSkillID> sortedSkills(const QSet<SmartCleanupSkillID>& skills);
// Exact text equality, where canonically equivalent texts count as equal.
bool sameCleanupText(const QString& a, const QString& b);

// The scenarios the user confirmed through a correction, and the last evaluation's snapshot,
// in the user-defaults domain. Main thread only.
class SmartCleanupScenarioStore {
public:
    static inline const QString scenariosKey = QStringLiteral("smartCleanup.scenarios.v1");
    static inline const QString snapshotKey = QStringLiteral("smartCleanup.skillPack.v1");
    static constexpr int maximumScenarioCount = 200;
    static constexpr int maximumTextLength = 2000;

    // Over the standard domain, looked up at each call.
    static SmartCleanupScenarioStore& shared();
    explicit SmartCleanupScenarioStore(Defaults* defaults = nullptr);

    Defaults& defaults() const;

    // Newest first; unreadable data reads as none.
    QList<SmartCleanupScenarioCase> confirmedScenarios() const;
    std::optional<SmartCleanupRulePackSnapshot> snapshot() const;

    bool addConfirmed(const SmartCleanupScenarioCase& scenario);
    void saveSnapshot(const SmartCleanupRulePackSnapshot& snapshot);
    void clearConfirmedScenarios();

private:
    Defaults* defaults_;
};

}  // namespace murmelo
