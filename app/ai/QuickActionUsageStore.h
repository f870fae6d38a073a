#pragma once
#include "ai/QuickActionID.h"

#include <QHash>
#include <QList>
#include <QString>

namespace murmelo {

class Defaults;

// How often each cloud action was completed per context (category, editability, script), and
// the two actions the bar shows first once a context has enough history. Keeps nothing in
// memory: every call reads the defaults afresh. Main thread only.
class QuickActionUsageStore {
public:
    static QuickActionUsageStore& shared();
    explicit QuickActionUsageStore(Defaults& defaults) : defaults_(defaults) {}

    static constexpr int promotionThreshold = 5;

    void record(QuickActionID action, const QuickActionSelection& selection);
    QList<QuickActionID> primaryActions(const QuickActionSelection& selection) const;

    static QList<QuickActionID> rankedPrimaryActions(const QHash<QString, qint64>& counts, bool isEditable, int threshold);
    // "cyrillic", "latin" or "other".
    static QString languageBucket(const QString& text);
    static QList<QuickActionID> defaultActions(bool isEditable);
    static QList<QuickActionID> candidateActions(bool isEditable);

private:
    static QString contextKey(const QuickActionSelection& selection);
    Defaults& defaults_;
    const QString key_ = QStringLiteral("quickActions.usage.v1");
};

}  // namespace murmelo
