#pragma once
#include "cleanup/SmartCleanupMode.h"
#include "dictation/DictationNeighbours.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace murmelo {

// The records that carry one dictation into the learning loop. DictationContext belongs to
// recording control, which captures it at the press, and PreparedDictation to the pipeline
// that fills it; the JSON forms and the learning records are here.

// Dates in these records are coded as seconds since 2001-01-01 00:00:00 UTC, with fraction.
double secondsSinceReferenceDate(const QDateTime& date);
QDateTime dateFromReferenceSeconds(double seconds);

QJsonObject toJson(const DictationContext& context);
std::optional<DictationContext> dictationContextFromJson(const QJsonValue& value);

// Where a learned replacement applies.
enum class DictationLearningScope { global, application };
QString rawValue(DictationLearningScope scope);
// Exactly "global" or "application"; any other text is no scope.
std::optional<DictationLearningScope> dictationLearningScope(const QString& raw);

// One correction the user confirmed.
struct LearnedDictationReplacement {
    QString id;
    QString source;
    QString replacement;
    DictationLearningScope scope = DictationLearningScope::global;
    std::optional<QString> bundleID;
    std::optional<QString> appName;
    QDateTime createdAt;

    // A new rule: a fresh upper-case UUID and the clock's time unless given. A global rule
    // carries no application, whatever was passed.
    static LearnedDictationReplacement make(const QString& source, const QString& replacement,
                                            DictationLearningScope scope, std::optional<QString> bundleID,
                                            std::optional<QString> appName, std::optional<QString> id = std::nullopt,
                                            std::optional<QDateTime> createdAt = std::nullopt);

    QJsonObject toJson() const;
    // Strict: a missing or mistyped required field, or an unknown scope, gives none. The
    // global-has-no-application rule is not applied to what was stored.
    static std::optional<LearnedDictationReplacement> fromJson(const QJsonValue& value);
    bool operator==(const LearnedDictationReplacement&) const = default;
};

// The most recent dictation handed to delivery.
struct LastDeliveredDictation {
    QString sourceText;
    QString deliveredText;
    std::optional<DictationContext> context;
    SmartCleanupMode cleanupMode = SmartCleanupMode::literal;
    QDateTime createdAt;

    QJsonObject toJson() const;
    static std::optional<LastDeliveredDictation> fromJson(const QJsonValue& value);
    bool operator==(const LastDeliveredDictation&) const = default;
};

// A correction proposed from the user's edit, not yet confirmed; never stored.
struct DictationCorrectionCandidate {
    QString source;
    QString replacement;
    bool operator==(const DictationCorrectionCandidate&) const = default;
};

}  // namespace murmelo
