#pragma once
#include "layout/LayoutDisagreement.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutWordShape.h"
#include "layout/WordChecks.h"

#include <QString>
#include <memory>
#include <optional>

namespace murmelo {

class LayoutLexicons;

// The n-gram comparison of a word's readings in the layouts.
struct WordAnalysis {
    QString best;       // the layout whose reading scores highest
    QString converted;  // the word retyped into best
    double margin = 0;  // best's score minus the typed reading's; never negative
};

// The word decision at a word boundary: whether a finished word was typed in the wrong layout
// and, if so, what replaces it. A fixed sequence of gates (take-backs and vetoes, word shape,
// protected and known words, the n-gram model, lexicon evidence); an accepted conversion goes
// to the engine's correction (LayoutCorrectionApply). Its scoring (analyze, sourceLayout, the word shape) is
// usable on its own, by live correction among others. Keeps no state of its own: it reads
// and updates the engine's word context. Main thread only.
class LayoutBoundaryDecision {
public:
    explicit LayoutBoundaryDecision(LayoutSwitcher& engine);
    LayoutBoundaryDecision(LayoutSwitcher& engine, LayoutLexicons& lexicons);

    // True when a correction was applied (the boundary key is then the correction's).
    bool consider(const QString& word, QChar boundary, LayoutSwitcher::BufStart start, bool onEnter);

    // "en" or "ru" by the word's letters (a tie is "ru"); without letters, the current layout.
    std::optional<QString> sourceLayout(const QString& word) const;
    std::optional<WordAnalysis> analyze(const QString& word, const QString& typed) const;
    bool looksLikeRussianProse() const;
    void logDecision(const QString& word, const QString& cur, const QString& best, double margin,
                     LayoutSwitcher::BufStart start, const QString& decision) const;

    // A reading worth converting into: the engine's known words, and the lexicons' strong
    // open-dictionary words of four characters or more.
    bool isWorthFlippingInto(const QString& word) const;

    // The language of the engine's believed current input source.
    std::optional<QString> currentLayoutId() const;

    LayoutWordShape& shape() { return shape_; }
    WordChecks& checks() { return checks_; }

private:
    bool applyCorrection(const QString& word, const QString& to, QChar boundary, const QString& layout, bool nativeOK,
                         LayoutSwitcher::BufStart start);
    bool isWordOf(const QString& text, const QString& layout, bool caseVariant);
    bool isOwnLayoutWord(const QString& core, const QString& typed);

    LayoutSwitcher& engine_;
    LayoutLexicons& lex_;
    WordChecks checks_;
    LayoutWordShape shape_;
};

}  // namespace murmelo
