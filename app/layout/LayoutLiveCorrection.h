#pragma once
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutSwitcher.h"

#include <QSet>
#include <functional>

namespace murmelo {

// Flips a word into the other layout while it is still being typed, once a few letters make
// the wrong layout certain; types the rest of the word itself while the system source has
// not followed (the live bridge); takes the flip back when a code character follows or the
// typed reading turns out to be a real word at the word's end. Main thread only; every call
// answers at once whether the key is swallowed.
class LayoutLiveCorrection {
public:
    // The scoring and lexicon answers live correction needs; the decision's scoring and the
    // shared word tables where a test leaves one empty.
    struct Words {
        std::function<std::optional<WordAnalysis>(const QString& core, const QString& src)> analyze;
        std::function<bool(const QString& word, const QString& layout, bool caseVariant)> isRealWordInLayout;
        std::function<bool(const QString& word, const QString& layout, bool caseVariant)> isRealShortWordCurated;
        std::function<bool(const QString& word, const QString& layout)> livePrefixVeto;
        std::function<bool(const QString& word, const QString& layout)> liveStemVeto;
    };

    static constexpr int liveShortWordLen = LayoutRules::liveShortWordLen;

    LayoutLiveCorrection(LayoutSwitcher& engine, LayoutAppGates& gates, LayoutCorrectionApply& apply,
                         std::shared_ptr<LayoutBoundaryDecision> decision, Words words = {});

    // True: the word was flipped and the key is swallowed.
    bool tryStartLive();
    bool liveType(const QString& ch);
    bool undoLiveOnCodeChar(const QString& ch);
    bool undoLiveOnDictEvidence();

private:
    WordParts split(const QString& word) const;
    bool flip(const WordParts& parts, const QString& src, const QString& best, int erase,
              const ManualInputDecisionV1& decision);

    LayoutSwitcher& engine_;
    LayoutAppGates& gates_;
    LayoutCorrectionApply& apply_;
    std::shared_ptr<LayoutBoundaryDecision> decision_;
    Words words_;
};

}  // namespace murmelo
