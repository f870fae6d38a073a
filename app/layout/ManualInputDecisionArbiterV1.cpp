#include "layout/ManualInputDecisionArbiterV1.h"

#include "base/Defaults.h"
#include "layout/LayoutRules.h"
#include "layout/ManualInputSourceProfileV1.h"

#include <cassert>

namespace murmelo {

namespace {

using Lane = ManualInputLaneV1;
using Kind = ManualInputEventKindV1;
using Level = ManualInputConfidenceLevelV1;
using Update = ManualInputStateUpdateV1;
using Text = ManualInputTextActionV1;
using Source = ManualInputSourceActionV1;
using Decision = ManualInputDecisionV1;
using Conf = ManualInputConfidenceV1;

Decision blocked(Lane lane, const QString& reason) {
    return Decision(lane, Text::none(), Source::none(), Conf(Level::blocked, reason), {reason},
                    {Update::pendingSourceClear, Update::contextReset});
}

Decision automaticPath(const ManualInputSnapshotV1& s, const ManualInputSourceRules& rules) {
    if (s.tokenProtection != ManualInputTokenProtectionV1::none) {
        const QString r = QStringLiteral("token.protected.") + rawValue(s.tokenProtection);
        return Decision(Lane::automatic, Text::none(), Source::none(), Conf(Level::blocked, r), {r}, {});
    }

    QStringList reasons;
    const auto& layout = s.proposals.layout;
    const auto& spell = s.proposals.spell;
    bool layoutUsable = s.settings.automaticLayoutEnabled && layout.isAccepted();
    bool layoutDropped = false;
    if (layoutUsable && !ManualInputSourceProfileV1::contains(layout.targetSourceID)) {
        reasons << QStringLiteral("scope.target_source_unsupported");
        layoutUsable = false;
        layoutDropped = true;
    }
    const bool spellUsable = s.settings.spellEnabled && spell.isAccepted();

    if (layoutUsable) {
        reasons << QStringLiteral("text.layout_selected");
        if (spellUsable) reasons << QStringLiteral("text.spell_suppressed_by_layout");
        std::vector<Update> allowed{Update::undoSet, Update::bufferReplace, Update::contextCommitLanguage};
        Source source = Source::none();
        const QString& target = *layout.targetSourceID;
        if (!rules.ruleTisAlways && s.context.editMode && !rules.ruleTisInEdit) {
            reasons << QStringLiteral("source.blocked.edit_mode");
        } else if (!s.settings.nativeSwitchEnabled) {
            reasons << QStringLiteral("source.disabled_by_setting");
        } else if (!rules.ruleTisAlways && !s.context.transitionConfirmed && !rules.ruleTisUnconfirmed) {
            reasons << QStringLiteral("source.blocked.unconfirmed_transition");
        } else if (s.scope.currentSourceID == target) {
            reasons << QStringLiteral("source.already_exact");
        } else {
            reasons << QStringLiteral("source.select_exact");
            source = Source::selectExact(target);
            allowed.push_back(Update::pendingSourceSet);
        }
        return Decision(Lane::automatic, Text::replaceToken(layout.replacement, ManualInputTextCauseV1::layout), source,
                        layout.confidence, reasons, allowed);
    }

    if (spellUsable) {
        reasons << QStringLiteral("text.spell_selected") << QStringLiteral("source.none_for_spell");
        return Decision(Lane::automatic, Text::replaceToken(spell.replacement, ManualInputTextCauseV1::spell),
                        Source::none(), spell.confidence, reasons,
                        {Update::undoSet, Update::bufferReplace, Update::contextCommitLanguage});
    }

    if (!s.settings.automaticLayoutEnabled && !s.settings.spellEnabled) {
        reasons = QStringList{QStringLiteral("lane.automatic_disabled")};
    } else {
        reasons.clear();
        if (layoutDropped) reasons << QStringLiteral("scope.target_source_unsupported");
        if (!s.settings.automaticLayoutEnabled) reasons << QStringLiteral("lane.layout_disabled");
        if (!s.settings.spellEnabled) reasons << QStringLiteral("lane.spell_disabled");
        reasons << QStringLiteral("text.no_accepted_candidate");
    }
    return Decision(Lane::automatic, Text::none(), Source::none(), Conf(Level::none, reasons.last()), reasons, {});
}

Decision manualPath(const ManualInputSnapshotV1& s) {
    const auto& m = s.proposals.manual;
    if (!m.isAccepted()) {
        const QString r = QStringLiteral("text.no_manual_candidate");
        return Decision(Lane::manualConverter, Text::none(), Source::none(), Conf(Level::none, r), {r}, {});
    }
    if (!ManualInputSourceProfileV1::contains(m.targetSourceID))
        return blocked(Lane::manualConverter, QStringLiteral("scope.target_source_unsupported"));

    QStringList reasons{QStringLiteral("lane.manual_explicit"), QStringLiteral("text.manual_selected")};
    std::vector<Update> allowed{Update::undoSet, Update::bufferReplace, Update::contextCommitLanguage};
    Source source = Source::none();
    if (s.scope.currentSourceID == m.targetSourceID) {
        reasons << QStringLiteral("source.already_exact");
    } else {
        reasons << QStringLiteral("source.select_exact_explicit");
        source = Source::selectExact(*m.targetSourceID);
        allowed.push_back(Update::pendingSourceSet);
    }
    return Decision(Lane::manualConverter, Text::replaceSelection(m.replacement, ManualInputTextCauseV1::manualLayout),
                    source, Conf(Level::explicit_, QStringLiteral("manual.double_shift")), reasons, allowed);
}

Decision undoPath(const ManualInputSnapshotV1& s) {
    const auto& u = s.undo;
    if (!u.available || u.originalText.isEmpty()) {
        const QString r = QStringLiteral("undo.unavailable");
        return Decision(Lane::undo, Text::none(), Source::none(), Conf(Level::none, r), {r}, {});
    }
    QStringList reasons{QStringLiteral("undo.restore_text")};
    std::vector<Update> allowed{Update::undoClear, Update::contextReset};
    Source source = Source::none();
    if (!u.ondrixChangedSource) {
        reasons << QStringLiteral("source.restore_not_owned");
    } else if (!ManualInputSourceProfileV1::contains(u.previousSourceID)) {
        reasons << QStringLiteral("source.blocked.restore_target_unsupported");
    } else if (u.previousSourceID == s.scope.currentSourceID) {
        reasons << QStringLiteral("source.already_exact");
    } else {
        reasons << QStringLiteral("source.restore_owned");
        source = Source::restoreExact(*u.previousSourceID);
        allowed.push_back(Update::pendingSourceSet);
    }
    return Decision(Lane::undo, Text::restoreOriginal(u.originalText, u.cause), source,
                    Conf(Level::explicit_, QStringLiteral("undo.user_backspace")), reasons, allowed);
}

}  // namespace

ManualInputSourceRules ManualInputSourceRules::read() {
    // The switcher's one table of switches reads them.
    const LayoutRules all = LayoutRules::read(LayoutRules::processEnvironment(), Defaults::shared());
    ManualInputSourceRules r;
    r.ruleTisAlways = all.ruleTisAlways;
    r.ruleTisInEdit = all.ruleTisInEdit;
    r.ruleTisUnconfirmed = all.ruleTisUnconfirmed;
    return r;
}

const ManualInputSourceRules& ManualInputSourceRules::process() {
    static const ManualInputSourceRules rules = read();
    return rules;
}

namespace ManualInputDecisionArbiterV1 {

ManualInputDecisionV1 decide(const ManualInputSnapshotV1& snapshot) {
    return decide(snapshot, ManualInputSourceRules::process());
}

ManualInputDecisionV1 decide(const ManualInputSnapshotV1& s, const ManualInputSourceRules& rules) {
    const Kind kind = s.event.kind;
    if (kind == Kind::shortcut || kind == Kind::click || kind == Kind::navigation) {
        const QString r = QStringLiteral("event.pending_cancelled.") + rawValue(kind);
        std::vector<Update> allowed{Update::pendingSourceClear};
        if (kind != Kind::shortcut) allowed.push_back(Update::contextReset);
        return Decision(Lane::control, Text::none(), Source::cancelPending(), Conf(Level::explicit_, r), {r}, allowed);
    }
    const Lane lane = kind == Kind::automaticText ? Lane::automatic
                      : kind == Kind::manualDoubleShift ? Lane::manualConverter
                                                        : Lane::undo;
    if (!s.scope.runtimeMutationAllowed) return blocked(lane, QStringLiteral("scope.runtime_mutation_blocked"));
    if (s.event.synthetic) return blocked(lane, QStringLiteral("scope.synthetic_event"));
    if (!s.scope.frontmostSupportsSyntheticText) return blocked(lane, QStringLiteral("scope.frontmost_unsupported"));
    if (!ManualInputSourceProfileV1::contains(s.scope.currentSourceID))
        return blocked(lane, QStringLiteral("scope.unsupported_source"));
    switch (kind) {
    case Kind::automaticText: return automaticPath(s, rules);
    case Kind::manualDoubleShift: return manualPath(s);
    default: return undoPath(s);
    }
}

}  // namespace ManualInputDecisionArbiterV1

}  // namespace murmelo
