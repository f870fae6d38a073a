#pragma once
#include "layout/DecisionCoreV2.h"

#include <functional>
#include <optional>

namespace murmelo {

class LayoutSwitcherHost;

// Runs decision core V2 beside the switcher without acting: it keeps its own record of the
// keys of the current word, builds V2's evidence just before the switcher decides, and logs
// whether the two agree. Exists only when switched on; main thread only.
class ShadowCoreV2 {
public:
    static constexpr int maxObserved = 128;

    // The instance when MURMELO_V2_SHADOW is exactly "1" or the user default "layoutV2Shadow"
    // is true, decided at first use for the process; else none.
    static ShadowCoreV2* shared();
    // Decides again at the next use (tests).
    static void resetSharedForTesting();

    void noteKey(std::optional<int> keycode, const QString& produced, const std::optional<QString>& deliveredBy);
    void noteBackspace();
    void reset();

    EvidenceModelV2 snapshotLive(const QString& word, const LayoutSwitcherHost* host) const;
    EvidenceModelV2 snapshotBoundary(const QString& word, const std::optional<QString>& boundary,
                                     const QString& start, const LayoutSwitcherHost* host) const;
    void compareLive(const std::optional<EvidenceModelV2>& model, bool oldStarted, LayoutSwitcherHost* host);
    void compareBoundary(const std::optional<EvidenceModelV2>& model, bool oldApplied, LayoutSwitcherHost* host);

    // The pair V2 decides with, its lookups answered by the switcher (none without one).
    static LanguagePairV2 languagePair(LayoutSwitcherHost* host);

    std::vector<KeyEvidenceV2> observed;
    int erased = 0;
    bool wordClosed = false;
    std::function<void(const QString&)> lineSink;

private:
    void startRecordIfClosed();
    EvidenceModelV2 snapshot(const QString& word, const std::optional<QString>& boundary, const QString& start,
                             const LayoutSwitcherHost* host) const;
    void writeLine(const EvidenceModelV2& model, const char* phase, bool oldActed, const DecisionResultV2& v2);
};

}  // namespace murmelo
