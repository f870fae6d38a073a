#pragma once
#include "vocabulary/DictationRecords.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace murmelo {

class Defaults;

// The corrections the user taught after a dictation, everywhere or in one application:
// applied to every dictation before the rule clean-up, offered to the recogniser as prompt
// terms. Also remembers the last delivered dictation (memory only) so that it can be
// corrected. Main thread; writes no log lines (the dialogs log counts).
class DictationLearningStore {
public:
    static inline const QString rulesKey = QStringLiteral("dictationLearning.rules.v1");

    static DictationLearningStore& shared();
    // Over the given domain; without one, over whatever domain is installed at each call.
    explicit DictationLearningStore(Defaults* defaults = nullptr);

    // The stored rules, newest first. Records are read one by one: one that cannot be
    // read is skipped and the others still count.
    QList<LearnedDictationReplacement> rules() const;
    std::optional<LastDeliveredDictation> lastDelivered() const { return latestDelivered_; }

    void recordLast(const QString& sourceText, const QString& deliveredText,
                    const std::optional<DictationContext>& context, SmartCleanupMode cleanupMode);
    // Stores the rule in front, replacing rules of the same source (ignoring case), scope
    // and application.
    void add(const LearnedDictationReplacement& rule);
    void remove(const QString& id);
    void clear();

    QString apply(const QString& text, const std::optional<DictationContext>& context) const;
    static QString apply(const QList<LearnedDictationReplacement>& rules, const QString& text,
                         const std::optional<QString>& bundleID);
    QStringList promptTerms(const std::optional<DictationContext>& context) const;
    std::optional<DictationCorrectionCandidate> correctionCandidate(const QString& original,
                                                                    const QString& corrected) const;

    static bool applies(const LearnedDictationReplacement& rule, const std::optional<QString>& bundleID);

private:
    struct Stored {
        QList<LearnedDictationReplacement> rules;  // in stored order
        QJsonArray unreadable;                     // records kept as they were
    };
    Defaults& defaults() const;
    Stored read() const;
    void persist(const QList<LearnedDictationReplacement>& rules, const QJsonArray& unreadable);

    Defaults* defaults_;
    std::optional<LastDeliveredDictation> latestDelivered_;
};

}  // namespace murmelo
