#pragma once
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace murmelo {

// The vocabulary of the manual-input decision model, version 1: the snapshot of one moment of
// typing that the engine hands to the arbiter, and the decision it gets back. Plain values;
// the raw texts and reason codes are the model's only outside vocabulary (the engine quotes
// them in its log lines).

enum class ManualInputLaneV1 { automatic, manualConverter, undo, control };
enum class ManualInputEventKindV1 { automaticText, manualDoubleShift, undo, shortcut, click, navigation };
enum class ManualInputAutomaticPhaseV1 { live, boundary };
enum class ManualInputTokenProtectionV1 { none, code, url, compound, foreignSingle, tailEdit, learnedException, realWord };
enum class ManualInputTextCauseV1 { layout, spell, manualLayout };
// `explicit_` is the level "explicit" (the word is taken in C++).
enum class ManualInputConfidenceLevelV1 { blocked, none, heuristic, dictionary, explicit_ };
enum class ManualInputStateUpdateV1 {
    bufferReplace,
    contextCommitLanguage,
    contextReset,
    learningRecordLayoutReject,
    learningRecordSpellReject,
    pendingSourceClear,
    pendingSourceSet,
    retypeVetoSet,
    undoClear,
    undoSet,
};

// Raw values, and the way back: an exact, case-sensitive match of one raw value or nothing.
QString rawValue(ManualInputLaneV1 v);
QString rawValue(ManualInputEventKindV1 v);
QString rawValue(ManualInputAutomaticPhaseV1 v);
QString rawValue(ManualInputTokenProtectionV1 v);
QString rawValue(ManualInputTextCauseV1 v);
QString rawValue(ManualInputConfidenceLevelV1 v);
QString rawValue(ManualInputStateUpdateV1 v);

template <class E>
std::optional<E> fromRawValue(const QString& raw);

template <> std::optional<ManualInputLaneV1> fromRawValue(const QString& raw);
template <> std::optional<ManualInputEventKindV1> fromRawValue(const QString& raw);
template <> std::optional<ManualInputAutomaticPhaseV1> fromRawValue(const QString& raw);
template <> std::optional<ManualInputTokenProtectionV1> fromRawValue(const QString& raw);
template <> std::optional<ManualInputTextCauseV1> fromRawValue(const QString& raw);
template <> std::optional<ManualInputConfidenceLevelV1> fromRawValue(const QString& raw);
template <> std::optional<ManualInputStateUpdateV1> fromRawValue(const QString& raw);

// Every state update, in declaration order.
const std::vector<ManualInputStateUpdateV1>& allManualInputStateUpdates();

// What to do with the text.
struct ManualInputTextActionV1 {
    enum class Kind { replaceToken, replaceSelection, restoreOriginal, none };
    Kind kind = Kind::none;

    static ManualInputTextActionV1 replaceToken(QString replacement, ManualInputTextCauseV1 cause) {
        return {Kind::replaceToken, std::move(replacement), cause};
    }
    static ManualInputTextActionV1 replaceSelection(QString replacement, ManualInputTextCauseV1 cause) {
        return {Kind::replaceSelection, std::move(replacement), cause};
    }
    // `replacement` is the text as it was before the change being undone.
    static ManualInputTextActionV1 restoreOriginal(QString replacement, ManualInputTextCauseV1 cause) {
        return {Kind::restoreOriginal, std::move(replacement), cause};
    }
    static ManualInputTextActionV1 none() { return {}; }

    int mutationCount() const { return kind == Kind::none ? 0 : 1; }
    std::optional<QString> replacement() const;
    std::optional<ManualInputTextCauseV1> cause() const;

    ManualInputTextActionV1() = default;
    bool operator==(const ManualInputTextActionV1&) const = default;

private:
    ManualInputTextActionV1(Kind k, QString r, ManualInputTextCauseV1 c) : kind(k), replacement_(std::move(r)), cause_(c) {}
    QString replacement_;
    ManualInputTextCauseV1 cause_ = ManualInputTextCauseV1::layout;
};

// What to do with the keyboard input source.
struct ManualInputSourceActionV1 {
    enum class Kind { selectExact, restoreExact, none, cancelPending };
    Kind kind = Kind::none;

    static ManualInputSourceActionV1 selectExact(QString sourceID) { return {Kind::selectExact, std::move(sourceID)}; }
    // Selects again a source that this system switched away from.
    static ManualInputSourceActionV1 restoreExact(QString sourceID) { return {Kind::restoreExact, std::move(sourceID)}; }
    static ManualInputSourceActionV1 none() { return {}; }
    static ManualInputSourceActionV1 cancelPending() { return {Kind::cancelPending, {}}; }

    std::optional<QString> sourceID() const;

    ManualInputSourceActionV1() = default;
    bool operator==(const ManualInputSourceActionV1&) const = default;

private:
    ManualInputSourceActionV1(Kind k, QString id) : kind(k), sourceID_(std::move(id)) {}
    QString sourceID_;
};

struct ManualInputConfidenceV1 {
    ManualInputConfidenceLevelV1 level = ManualInputConfidenceLevelV1::none;
    std::optional<double> score;  // the arbiter itself never sets one
    QString basis;                // a dotted code naming what the level rests on

    ManualInputConfidenceV1(ManualInputConfidenceLevelV1 l, QString b, std::optional<double> s = std::nullopt)
        : level(l), score(s), basis(std::move(b)) {}
    bool operator==(const ManualInputConfidenceV1&) const = default;
};

struct ManualInputEventV1 {
    ManualInputEventKindV1 kind = ManualInputEventKindV1::automaticText;
    ManualInputAutomaticPhaseV1 phase = ManualInputAutomaticPhaseV1::boundary;
    bool synthetic = false;  // generated by this system itself
    bool operator==(const ManualInputEventV1&) const = default;
};

struct ManualInputScopeV1 {
    bool runtimeMutationAllowed = true;          // false while the engine writes a correction itself
    bool frontmostSupportsSyntheticText = true;  // false for a remote-desktop client
    std::optional<QString> currentSourceID;
    bool operator==(const ManualInputScopeV1&) const = default;
};

struct ManualInputSettingsV1 {
    bool automaticLayoutEnabled = false;
    bool spellEnabled = false;
    bool nativeSwitchEnabled = false;
    bool operator==(const ManualInputSettingsV1&) const = default;
};

struct ManualInputContextV1 {
    bool editMode = false;
    // The surroundings confirm a change of language, so switching the source is warranted.
    bool transitionConfirmed = false;
    bool operator==(const ManualInputContextV1&) const = default;
};

struct ManualInputProposalV1 {
    bool accepted = false;
    QString replacement;
    std::optional<QString> targetSourceID;
    ManualInputConfidenceV1 confidence{ManualInputConfidenceLevelV1::none, QStringLiteral("proposal.none")};

    // A proposal the evaluator stands behind.
    static ManualInputProposalV1 acceptedWith(QString replacement, std::optional<QString> targetSourceID,
                                              ManualInputConfidenceV1 confidence) {
        return {true, std::move(replacement), std::move(targetSourceID), std::move(confidence)};
    }
    // An accepted proposal with an empty replacement counts as not accepted everywhere.
    bool isAccepted() const { return accepted && !replacement.isEmpty(); }
    bool operator==(const ManualInputProposalV1&) const = default;
};

struct ManualInputProposalsV1 {
    ManualInputProposalV1 layout;
    ManualInputProposalV1 spell;
    ManualInputProposalV1 manual;
    bool operator==(const ManualInputProposalsV1&) const = default;
};

struct ManualInputUndoV1 {
    bool available = false;
    QString originalText;
    ManualInputTextCauseV1 cause = ManualInputTextCauseV1::layout;
    std::optional<QString> previousSourceID;
    bool ondrixChangedSource = false;  // the change itself switched the input source
    bool operator==(const ManualInputUndoV1&) const = default;
};

struct ManualInputSnapshotV1 {
    ManualInputEventV1 event;
    ManualInputScopeV1 scope;
    ManualInputSettingsV1 settings;
    ManualInputContextV1 context;
    ManualInputTokenProtectionV1 tokenProtection = ManualInputTokenProtectionV1::none;
    ManualInputProposalsV1 proposals;
    ManualInputUndoV1 undo;
    bool operator==(const ManualInputSnapshotV1&) const = default;
};

struct ManualInputDecisionV1 {
    static inline const QString versionText = QStringLiteral("manual-input-decision.v1");

    // Asserts the two invariants the reducer relies on: a pending-source update only with a
    // source action that selects, and only sources of the profile.
    ManualInputDecisionV1(ManualInputLaneV1 lane, ManualInputTextActionV1 textAction,
                          ManualInputSourceActionV1 sourceAction, ManualInputConfidenceV1 confidence,
                          QStringList reasonCodes, std::vector<ManualInputStateUpdateV1> allowedStateUpdates);

    QString version;
    QString profileID;
    ManualInputLaneV1 lane;
    ManualInputTextActionV1 textAction;
    ManualInputSourceActionV1 sourceAction;
    ManualInputConfidenceV1 confidence;
    QStringList reasonCodes;
    std::vector<ManualInputStateUpdateV1> allowedStateUpdates;

    bool allows(ManualInputStateUpdateV1 u) const;
    bool operator==(const ManualInputDecisionV1&) const = default;
};

struct ManualInputPendingSourceV1 {
    QString sourceID;
    QString ownedBy;  // who asked for the selection
    bool operator==(const ManualInputPendingSourceV1&) const = default;
};

struct ManualInputPendingStateV1 {
    std::optional<ManualInputPendingSourceV1> pendingSource;
    bool operator==(const ManualInputPendingStateV1&) const = default;
};

}  // namespace murmelo
