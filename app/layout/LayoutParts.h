#pragma once
#include "input/DeliveryRepair.h"
#include "input/TextWriteTrace.h"
#include "layout/LayoutSwitcher.h"

#include <QString>
#include <QUuid>
#include <functional>
#include <optional>
#include <utility>

namespace murmelo {

struct EditRights;

// What the switcher engine and its parts ask of one another, grouped by the part that answers.
// The application's engine (LayoutEngineParts) answers each from the one part that owns it and
// passes polish's and dictation's questions on to their ports; every member must be answered,
// so a part missing from a build fails to compile rather than doing nothing at the first key.
// Tests answer some of them themselves to watch the key path.
class LayoutParts {
public:
    using BufStart = LayoutSwitcher::BufStart;
    using CorrectionKind = LayoutSwitcher::CorrectionKind;
    using UndoGesture = LayoutSwitcher::UndoGesture;
    using UndoTransport = LayoutSwitcher::UndoTransport;

    virtual ~LayoutParts() = default;

    // The word decision (LayoutBoundaryDecision): true swallows the boundary key.
    virtual bool consider(const QString& word, QChar boundary, BufStart start, bool onEnter) = 0;
    virtual std::optional<QString> sourceLayout(const QString& word) = 0;
    // Strikes and vetoes (LayoutDisagreement).
    virtual void noteDisagreement(const QString& word, const QString& why, std::optional<QUuid> conversion) = 0;

    // Applying a correction (LayoutCorrectionApply); true when it was typed and the boundary key
    // must be swallowed. The undo of the last correction or flip by a gesture.
    virtual bool correct(const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout,
                         bool nativeOK, const EditRights& rights, CorrectionKind kind) = 0;
    virtual bool takeFlipUndo(UndoGesture gesture, bool ruleOn, bool oneGesture) = 0;

    // Live correction (LayoutLiveCorrection).
    virtual bool tryStartLive() = 0;
    virtual bool liveType(const QString& ch) = 0;
    virtual bool undoLiveOnCodeChar(const QString& ch) = 0;
    virtual void undoLiveOnDictEvidence() = 0;

    // The flip probe (LayoutFlipProbe).
    virtual void flipProbeEnd(const QString& reason) = 0;
    virtual void flipProbeLetter() = 0;
    virtual void flipProbeBackspace() = 0;

    // Key truth (LayoutKeyTruth): the characters to use for the key, and whether it was already
    // retyped and must be swallowed.
    virtual std::pair<QString, bool> keyTruth(const InputEvent& event, const QString& produced, bool ownTranslation,
                                              bool idleReselect) = 0;

    // The field probe (LayoutFieldProbe): the finished word as the field shows it, the probes of
    // the field, and the text and caret of the focused field.
    virtual QString screenTruthWord(const QString& word) = 0;
    virtual void scheduleAXEditProbe() = 0;
    virtual void scheduleAXProbeOnMismatch() = 0;
    virtual std::optional<std::pair<QString, int>> focusedValueAndCaret() = 0;

    // The application gates (LayoutAppGates).
    virtual bool isRemoteDesktopFrontmost() = 0;
    virtual bool isExcludedAppFocused() = 0;

    // Output (LayoutOutput): the engine's hands in the focused field.
    virtual void sendKey(quint16 keyCode, quint64 flags) = 0;
    virtual std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin) = 0;
    virtual void sendBackspaces(int count, TextWriteOrigin origin) = 0;
    virtual bool deliverViaAX(int count, const QString& text) = 0;
    // Erases count characters before the caret, then types the text; the route used.
    virtual TextWriteRoute deliver(int count, const QString& text, UndoTransport transport) = 0;
    virtual void pasteAtomically(const QString& text, TextWriteOrigin origin) = 0;
    virtual void probeExcludedFieldCapability() = 0;

    // Input-source selection (LayoutSourceSelection): a verified selection after the selection
    // delay, true when scheduled. The sound is a cue's raw value ("ru", "en", "rollback"); none
    // plays the target's own cue. The completion hears once whether the source arrived.
    virtual bool selectExactSource(const QString& sourceID, bool retry, const std::optional<QString>& sound,
                                   std::function<void(bool)> completion) = 0;
    virtual bool selectLayout(const QString& language, bool retry, const std::optional<QString>& sound,
                              std::function<void(bool)> completion) = 0;
    // Selects the source again at once; milliseconds taken, none on failure.
    virtual std::optional<double> fireIdleReselect(const QString& sourceID) = 0;
    // The input source the system (or the stand's stage) has current.
    virtual std::optional<QString> systemSourceID() = 0;

    // The host (LayoutSwitcherHost): statistics of finished words and application switches.
    virtual void noteWordForStats(const QString& word, bool live) = 0;
    virtual void handleAppActivated(const std::optional<QString>& bundle, const QString& name) = 0;
    // The language the front application's learned counts favour.
    virtual std::optional<QString> frontAppPrior() = 0;

    // Manual conversion (LayoutManualConversion): the right Shift, whose double press converts.
    virtual void noteRightShift(bool down, bool polishBound) = 0;

    // Polish, outside the engine (SwitcherPolish): its key, Space, a dropped waiting tap, every
    // user key for live polish, and the audit of a field an undo pasted over.
    virtual void notePolishDown() = 0;
    virtual void notePolishUp() = 0;
    virtual void cancelPendingPolish(const QString& reason) = 0;
    virtual void noteSpaceTyped() = 0;
    virtual void notePolishLiveTyping() = 0;
    virtual void auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet,
                               quint64 typedAtWrite) = 0;

    // Dictation, outside the engine (SwitcherDictation).
    virtual bool isRecording() = 0;
    virtual void stopRecording() = 0;
};

}  // namespace murmelo
