// The engine's moments as the manual-input arbiter sees them. The builders decide nothing:
// they copy the engine's state into a snapshot and return the arbiter's answer unchanged.
#include "base/Log.h"
#include "layout/LayoutParts.h"
#include "layout/LayoutSwitcher.h"
#include "layout/ManualInputDecisionArbiterV1.h"
#include "layout/ManualInputSourceProfileV1.h"

namespace murmelo {

namespace {


QString languageOr(const std::optional<QString>& sourceID) {
    return ManualInputSourceProfileV1::language(sourceID).value_or(QStringLiteral("?"));
}

ManualInputEventV1 event(ManualInputEventKindV1 kind, ManualInputAutomaticPhaseV1 phase) {
    ManualInputEventV1 e;
    e.kind = kind;
    e.phase = phase;
    e.synthetic = false;
    return e;
}

}  // namespace

ManualInputDecisionV1 LayoutSwitcher::automaticDecision(ManualInputAutomaticPhaseV1 phase, const QString& replacement,
                                                        const QString& targetLanguage, bool evaluatorConfident,
                                                        bool editMode, CorrectionKind kind) const {
    // The keys are the better witness of the current layout when the system lags behind them.
    std::optional<QString> current = observedSourceID();
    if (rules_.ruleAlreadyExactByKeys && lastKeyTruth) {
        if (const std::optional<QString> byKeys = ManualInputSourceProfileV1::sourceID(*lastKeyTruth)) {
            if (current != byKeys) {
                logLine(QStringLiteral("layout: «уже там?» решаю по клавишам (") + languageOr(byKeys) +
                        QStringLiteral(")") + QStringLiteral(", система говорит ") + languageOr(current));
            }
            current = byKeys;
        }
    }
    const std::optional<QString> target = ManualInputSourceProfileV1::sourceID(targetLanguage);

    bool confirmed = false;
    if (!nativeHoldActive() && evaluatorConfident) {
        confirmed = targetLanguage == ManualInputSourceProfileV1::firstWordConfirms ||
                    targetLanguage == learnedAppPrior() || targetLanguage == recentLang;
    }

    const bool isLayout = kind == CorrectionKind::layout;
    const ManualInputConfidenceV1 confidence(
        evaluatorConfident ? ManualInputConfidenceLevelV1::dictionary : ManualInputConfidenceLevelV1::heuristic,
        isLayout ? QStringLiteral("layout.evaluator") : QStringLiteral("spell.dictionary"));
    const ManualInputProposalV1 proposal =
        ManualInputProposalV1::acceptedWith(replacement, isLayout ? target : std::nullopt, confidence);

    ManualInputSnapshotV1 s;
    s.event = event(ManualInputEventKindV1::automaticText, phase);
    s.scope.runtimeMutationAllowed = !isCorrecting();
    s.scope.frontmostSupportsSyntheticText = !parts_.isRemoteDesktopFrontmost();
    s.scope.currentSourceID = current;
    s.settings.automaticLayoutEnabled = isLayout && isEnabled();
    s.settings.spellEnabled = !isLayout && isSpellEnabled();
    s.settings.nativeSwitchEnabled = isNativeSwitch();
    s.context.editMode = editMode;
    s.context.transitionConfirmed = confirmed;
    if (isLayout) s.proposals.layout = proposal;
    else s.proposals.spell = proposal;
    s.tokenProtection = ManualInputTokenProtectionV1::none;
    return ManualInputDecisionArbiterV1::decide(s);
}

ManualInputDecisionV1 LayoutSwitcher::manualDecision(const QString& replacement, const QString& targetSourceID,
                                                     bool editMode) const {
    ManualInputSnapshotV1 s;
    s.event = event(ManualInputEventKindV1::manualDoubleShift, ManualInputAutomaticPhaseV1::boundary);
    // The user asked for this one: another correction being typed does not hold it back.
    s.scope.runtimeMutationAllowed = true;
    s.scope.frontmostSupportsSyntheticText = !parts_.isRemoteDesktopFrontmost();
    s.scope.currentSourceID = observedSourceID();
    s.context.editMode = editMode;
    s.proposals.manual = ManualInputProposalV1::acceptedWith(
        replacement, targetSourceID,
        ManualInputConfidenceV1(ManualInputConfidenceLevelV1::explicit_, QStringLiteral("manual.double_shift")));
    return ManualInputDecisionArbiterV1::decide(s);
}

ManualInputDecisionV1 LayoutSwitcher::undoDecision(const PendingCorrection& pending) const {
    ManualInputSnapshotV1 s;
    s.event = event(ManualInputEventKindV1::undo, ManualInputAutomaticPhaseV1::boundary);
    s.scope.runtimeMutationAllowed = !isCorrecting();
    s.scope.frontmostSupportsSyntheticText = !parts_.isRemoteDesktopFrontmost();
    s.scope.currentSourceID = observedSourceID();
    s.undo.available = true;
    s.undo.originalText = pending.original;
    s.undo.cause = pending.kind == CorrectionKind::layout ? ManualInputTextCauseV1::layout : ManualInputTextCauseV1::spell;
    s.undo.previousSourceID = pending.previousSourceID;
    s.undo.ondrixChangedSource = pending.didSwitch;
    return ManualInputDecisionArbiterV1::decide(s);
}

}  // namespace murmelo
