#pragma once
#include "layout/LayoutSwitcher.h"

#include <QString>
#include <QUuid>
#include <optional>

namespace murmelo {

// The engine's memory of words whose conversion the user took back: one take-back is a
// strike, a second one about another conversion of the same word (or the first, with the
// second-strike rule off) stops converting that word for 15 minutes. Kept in the engine's
// fields, in the process only. Main thread only.
class LayoutDisagreement {
public:
    explicit LayoutDisagreement(LayoutSwitcher& engine) : engine_(engine) {}

    // The form under which a word is remembered: slashes and edge punctuation off, lower case.
    static QString disagreementKey(const QString& word);

    // strikesNeeded: the engine's vetoStrikes() when not given.
    void noteDisagreement(const QString& word, const QString& why, std::optional<QUuid> conversion,
                          std::optional<int> strikesNeeded = std::nullopt);
    bool disagreementVetoedBoundary(const QString& word);
    bool disagreementVetoedLive(const QString& prefix) const;

private:
    LayoutSwitcher& engine_;
};

}  // namespace murmelo
