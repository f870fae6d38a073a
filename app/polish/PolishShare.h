#pragma once
#include "platform/Accessibility.h"

#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// What the triggers and the transport of polish use of the rest of polish: protected words,
// the typing plan, the journal, the card and the underline marks.
// Each entry is bound where its code is built; an unbound entry does nothing, says so once
// in the log, and answers as if nothing were done. Main thread only.
struct PolishShare {
    // Whether polish must leave the word as typed.
    std::function<bool(const QString& word)> polishProtects;
    // Types the change of `fix` from `have` to `want` with synthetic keys from the caret;
    // false when it refused (nothing typed).
    std::function<bool(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                       const QString& want, const QString& tag, qint64 maxKeys, bool trustGap)>
        polishTypeFix;
    // Records an edit in the polish journal under the rule's name.
    std::function<void(const QString& rule, const QString& before, const QString& after, qint64 at,
                       std::optional<qint64> pid)>
        journalNote;
    // Shows the word edits between the two texts on the polish card.
    std::function<void(const QString& before, const QString& after)> showEdits;
    // A one-line note on the polish card.
    std::function<void(const QString& note, bool isShort)> showNote;
    // Underlines the changed places of `after` in the field, starting at `base`.
    std::function<void(const AXElementPtr& el, qint64 base, const QString& before, const QString& after)> underline;

    static PolishShare& shared();

    // Callers go through these: they fall back as described above.
    bool protects(const QString& word);
    bool typeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                 const QString& want, const QString& tag, qint64 maxKeys, bool trustGap);
    void note(const QString& rule, const QString& before, const QString& after, qint64 at, std::optional<qint64> pid);
    void edits(const QString& before, const QString& after);
    void cardNote(const QString& note, bool isShort);
    void marks(const AXElementPtr& el, qint64 base, const QString& before, const QString& after);
};

// Settings of polish read at every use.
bool isPolishCardEnabled();
bool isPolishTrustModel();

}  // namespace murmelo
