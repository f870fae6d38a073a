#pragma once
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutSwitcher.h"

#include <QSet>

namespace murmelo {

// Flips a word into the other layout while it is still being typed, once a few letters make
// the wrong layout certain; types the rest of the word itself while the system source has
// not followed (the live bridge); takes the flip back when a code character follows or the
// typed reading turns out to be a real word at the word's end. Main thread only; every call
// answers at once whether the key is swallowed.
class LayoutLiveCorrection {
public:
    // The scoring and lexicon answers live correction needs.
    class Words {
    public:
        virtual ~Words() = default;
        virtual std::optional<WordAnalysis> analyze(const QString& core, const QString& src) = 0;
        virtual bool isRealWordInLayout(const QString& word, const QString& layout, bool caseVariant) = 0;
        virtual bool isRealShortWordCurated(const QString& word, const QString& layout, bool caseVariant) = 0;
        virtual bool livePrefixVeto(const QString& word, const QString& layout) = 0;
        virtual bool liveStemVeto(const QString& word, const QString& layout) = 0;
    };
    // The program's: the word decision's scoring and its word checks.
    class DecisionWords final : public Words {
    public:
        explicit DecisionWords(LayoutBoundaryDecision& decision) : decision_(decision) {}
        std::optional<WordAnalysis> analyze(const QString& core, const QString& src) override;
        bool isRealWordInLayout(const QString& word, const QString& layout, bool caseVariant) override;
        bool isRealShortWordCurated(const QString& word, const QString& layout, bool caseVariant) override;
        bool livePrefixVeto(const QString& word, const QString& layout) override;
        bool liveStemVeto(const QString& word, const QString& layout) override;

    private:
        LayoutBoundaryDecision& decision_;
    };

    static constexpr int liveShortWordLen = LayoutRules::liveShortWordLen;

    LayoutLiveCorrection(LayoutSwitcher& engine, LayoutAppGates& gates, LayoutCorrectionApply& apply,
                         std::shared_ptr<LayoutBoundaryDecision> decision, Words& words);

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
    Words& words_;
};

}  // namespace murmelo
