#pragma once
#include "input/DeliveryRepair.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutSwitcher.h"
#include "layout/ManualInputRecordsV1.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace murmelo {

// Turns a decided correction into the edit in the focused field: the arbiter's final word,
// the word erased and retyped, the boundary typed, the input source switched a moment later,
// and a record that lets the very next Backspace or Command-Z take it all back. Main thread
// only.
class LayoutCorrectionApply {
public:
    LayoutCorrectionApply(LayoutSwitcher& engine, LayoutAppGates& gates);
    ~LayoutCorrectionApply();
    LayoutCorrectionApply(const LayoutCorrectionApply&) = delete;
    LayoutCorrectionApply& operator=(const LayoutCorrectionApply&) = delete;

    using CorrectionKind = LayoutSwitcher::CorrectionKind;
    using PendingCorrection = LayoutSwitcher::PendingCorrection;
    using UndoGesture = LayoutSwitcher::UndoGesture;

    // True when the correction was typed: the caller swallows the boundary key.
    bool correct(const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout,
                 bool nativeOK, const EditRights& rights = EditRights::clean(), CorrectionKind kind = CorrectionKind::layout);
    void applyCorrection(const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout,
                         bool nativeOK, const EditRights& rights, CorrectionKind kind,
                         const ManualInputSourceActionV1& sourceAction, const QStringList& reasonCodes);
    // The input source a correction selects. With the observer hook nothing is selected and
    // the switch counts as made; otherwise the selection is asked for and completes later.
    struct SourceSelection {
        std::optional<QString> target;
        bool accepted = false;
        bool didSwitch = false;
    };
    SourceSelection selectSource(const ManualInputSourceActionV1& action, const QUuid& id);
    // The completion of an own selection made for a correction: marks the record switched
    // when it is still the same correction and target.
    std::function<void(bool)> switchReceipt(const QUuid& id, const QString& sourceID);

    // True only when the gesture undid the last correction and its key must be swallowed.
    bool takeFlipUndo(UndoGesture gesture, bool ruleOn, bool oneGesture);
    static bool undoGestureTakes(const std::optional<PendingCorrection>& pending, UndoGesture gesture, bool ruleOn,
                                 const QDateTime& now, double boundaryMaxAge, bool sameApp);
    // True when the text was restored; a refused undo only drops the record.
    bool performUndo(const PendingCorrection& pending, bool oneGesture);
    // What an undone boundary correction teaches; true when the word became an exception.
    bool noteUndo(CorrectionKind kind, const QString& original, const QString& from, std::optional<QUuid> conversion);

    // Checks a little later that the typed correction stands at the end of the field; once
    // more after auditRetryDelay when it does not yet (our keys may wait for the user to let
    // go of a key). A correction undone meanwhile is not checked. When the field lacks it, the
    // word being typed gets no more live flips: the engine's idea of the field is wrong.
    void auditCorrectionDelivery(const QString& expected, const QString& app);
    using FieldBefore = std::pair<AXElementPtr, DeliveryRepair::FieldSnapshot>;
    void auditUndoDelivery(const std::optional<FieldBefore>& field, int erasing, const QString& inserting,
                           quint64 typedAtWrite);

    static constexpr double auditDelay = 0.12;
    static constexpr double auditRetryDelay = 0.5;
    static constexpr int auditTailSlack = 24;

private:
    bool performUndo(const PendingCorrection& pending, const ManualInputDecisionV1& decision, bool oneGesture);
    // The boundary typed as its key was pressed, when the engine has that key.
    void typeBoundary(QChar boundary, const std::optional<InputEvent>& key);

    // Erases count characters and types the text through the engine's output.
    TextWriteRoute deliver(int count, const QString& text, LayoutSwitcher::UndoTransport transport);

    LayoutSwitcher& engine_;
    LayoutAppGates& gates_;
    std::shared_ptr<bool> alive_;
    void checkCorrectionDelivery(const QString& expected, const QString& app, const std::optional<QString>& bundle,
                                 quint64 undos, qint64 word, bool last);
    // Undos done: a correction undone since its audit was scheduled is not in the field by design.
    quint64 undos_ = 0;
    // The key that ended the corrected word, for an undo that retypes the boundary.
    std::optional<std::pair<QUuid, InputEvent>> boundaryKey_;
};

}  // namespace murmelo
