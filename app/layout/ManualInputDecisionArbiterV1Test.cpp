#include "layout/ManualInputDecisionArbiterV1.h"
#include "layout/ManualInputPendingReducerV1.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using Kind = ManualInputEventKindV1;
using Lane = ManualInputLaneV1;
using Level = ManualInputConfidenceLevelV1;
using U = ManualInputStateUpdateV1;
using Updates = std::vector<U>;
using Source = ManualInputSourceActionV1;
using Text = ManualInputTextActionV1;

const QString US = QStringLiteral("com.apple.keylayout.US");
const QString RU = QStringLiteral("com.apple.keylayout.Russian");
const QString GERMAN = QStringLiteral("com.apple.keylayout.German");

ManualInputSnapshotV1 snapshot(Kind kind, std::optional<QString> current = US) {
    ManualInputSnapshotV1 s;
    s.event.kind = kind;
    s.scope.currentSourceID = std::move(current);
    return s;
}

// Both lanes on, both candidates accepted, US current, Russian target, native switch on,
// transition confirmed: the path that selects the Russian source.
ManualInputSnapshotV1 automaticBoth() {
    ManualInputSnapshotV1 s = snapshot(Kind::automaticText);
    s.settings = {true, true, true};
    s.context = {false, true};
    s.proposals.layout = ManualInputProposalV1::acceptedWith(
        QStringLiteral("привет"), RU, ManualInputConfidenceV1(Level::dictionary, QStringLiteral("layout.evaluator")));
    s.proposals.spell = ManualInputProposalV1::acceptedWith(
        QStringLiteral("ghbdtn"), std::nullopt, ManualInputConfidenceV1(Level::heuristic, QStringLiteral("spell.dictionary")));
    return s;
}

ManualInputDecisionV1 decide(const ManualInputSnapshotV1& s, ManualInputSourceRules rules = {}) {
    return ManualInputDecisionArbiterV1::decide(s, rules);
}

}  // namespace

TEST(ManualInputRecordsV1Test, RawValuesConvertOnlyOnExactMatch) {
    EXPECT_EQ(fromRawValue<ManualInputLaneV1>("manual_converter"), Lane::manualConverter);
    EXPECT_FALSE(fromRawValue<ManualInputLaneV1>("manual-converter"));
    EXPECT_FALSE(fromRawValue<ManualInputLaneV1>("Automatic"));
    EXPECT_EQ(fromRawValue<ManualInputStateUpdateV1>("pending_source.set"), U::pendingSourceSet);
    EXPECT_EQ(rawValue(Level::explicit_), "explicit");
    EXPECT_EQ(rawValue(ManualInputTokenProtectionV1::foreignSingle), "foreign_single");
    for (U u : allManualInputStateUpdates()) EXPECT_EQ(fromRawValue<U>(rawValue(u)), u);
    ASSERT_EQ(allManualInputStateUpdates().size(), 10u);
    EXPECT_EQ(allManualInputStateUpdates().front(), U::bufferReplace);
    EXPECT_EQ(allManualInputStateUpdates().back(), U::undoSet);
}

TEST(ManualInputRecordsV1Test, DerivedPropertiesAndDefaults) {
    ManualInputProposalV1 empty = ManualInputProposalV1::acceptedWith({}, RU, ManualInputConfidenceV1(Level::explicit_, "x"));
    EXPECT_TRUE(empty.accepted);
    EXPECT_FALSE(empty.isAccepted());
    const ManualInputProposalV1 fresh;
    EXPECT_EQ(fresh.confidence.level, Level::none);
    EXPECT_EQ(fresh.confidence.basis, "proposal.none");
    EXPECT_FALSE(fresh.confidence.score);

    EXPECT_EQ(Text::none().mutationCount(), 0);
    EXPECT_FALSE(Text::none().replacement());
    EXPECT_FALSE(Text::none().cause());
    const Text restore = Text::restoreOriginal("было", ManualInputTextCauseV1::spell);
    EXPECT_EQ(restore.mutationCount(), 1);
    EXPECT_EQ(restore.replacement(), "было");
    EXPECT_EQ(restore.cause(), ManualInputTextCauseV1::spell);
    EXPECT_NE(restore, Text::replaceToken("было", ManualInputTextCauseV1::spell));
    EXPECT_FALSE(Source::cancelPending().sourceID());
    EXPECT_EQ(Source::restoreExact(US).sourceID(), US);

    const ManualInputSnapshotV1 s;
    EXPECT_EQ(s.event.kind, Kind::automaticText);
    EXPECT_EQ(s.event.phase, ManualInputAutomaticPhaseV1::boundary);
    EXPECT_TRUE(s.scope.runtimeMutationAllowed);
    EXPECT_TRUE(s.scope.frontmostSupportsSyntheticText);
    EXPECT_FALSE(s.scope.currentSourceID);
    EXPECT_EQ(s.settings, ManualInputSettingsV1{});
    EXPECT_EQ(s.context, ManualInputContextV1{});
    EXPECT_EQ(s.tokenProtection, ManualInputTokenProtectionV1::none);
}

TEST(ManualInputDecisionArbiterV1Test, EveryDecisionCarriesVersionAndProfile) {
    for (Kind k : {Kind::automaticText, Kind::manualDoubleShift, Kind::undo, Kind::shortcut, Kind::click, Kind::navigation}) {
        const auto d = decide(snapshot(k));
        EXPECT_EQ(d.version, "manual-input-decision.v1");
        EXPECT_EQ(d.profileID, "english-us-russian-apple.v1");
    }
    EXPECT_EQ(ManualInputDecisionV1::versionText, "manual-input-decision.v1");
}

TEST(ManualInputDecisionArbiterV1Test, ControlEventsWinOverEveryScopeRefusal) {
    for (Kind k : {Kind::shortcut, Kind::click, Kind::navigation}) {
        ManualInputSnapshotV1 s = snapshot(k, GERMAN);
        s.scope.runtimeMutationAllowed = false;
        s.event.synthetic = true;
        const auto d = decide(s);
        SCOPED_TRACE(rawValue(k).toStdString());
        EXPECT_EQ(d.lane, Lane::control);
        EXPECT_EQ(d.sourceAction, Source::cancelPending());
        EXPECT_EQ(d.reasonCodes, QStringList{"event.pending_cancelled." + rawValue(k)});
        EXPECT_EQ(d.confidence, ManualInputConfidenceV1(Level::explicit_, "event.pending_cancelled." + rawValue(k)));
        EXPECT_EQ(d.allowedStateUpdates,
                  (k == Kind::shortcut ? Updates{U::pendingSourceClear} : Updates{U::pendingSourceClear, U::contextReset}));
    }
}

TEST(ManualInputDecisionArbiterV1Test, ScopeRefusalsInTheirOrder) {
    struct Case {
        const char* name;
        Kind kind;
        bool mutationAllowed, synthetic, frontmostOK;
        std::optional<QString> current;
        Lane lane;
        const char* reason;
    } cases[] = {
        {"mutation before synthetic", Kind::automaticText, false, true, true, US, Lane::automatic, "scope.runtime_mutation_blocked"},
        {"synthetic", Kind::manualDoubleShift, true, true, false, US, Lane::manualConverter, "scope.synthetic_event"},
        {"remote desktop", Kind::undo, true, false, false, US, Lane::undo, "scope.frontmost_unsupported"},
        {"third layout", Kind::undo, true, false, true, GERMAN, Lane::undo, "scope.unsupported_source"},
        {"no source", Kind::automaticText, true, false, true, std::nullopt, Lane::automatic, "scope.unsupported_source"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualInputSnapshotV1 s = automaticBoth();
        s.event.kind = c.kind;
        s.event.synthetic = c.synthetic;
        s.scope = {c.mutationAllowed, c.frontmostOK, c.current};
        const auto d = decide(s);
        EXPECT_EQ(d.lane, c.lane);
        EXPECT_EQ(d.reasonCodes, QStringList{c.reason});
        EXPECT_EQ(d.confidence, ManualInputConfidenceV1(Level::blocked, c.reason));
        EXPECT_EQ(d.textAction, Text::none());
        EXPECT_EQ(d.sourceAction, Source::none());
        EXPECT_EQ(d.allowedStateUpdates, (Updates{U::pendingSourceClear, U::contextReset}));
    }
}

TEST(ManualInputDecisionArbiterV1Test, LayoutCandidateSelectsTheRussianSourceAndIsHeldPending) {
    const auto d = decide(automaticBoth());
    EXPECT_EQ(d.lane, Lane::automatic);
    EXPECT_EQ(d.textAction, Text::replaceToken("привет", ManualInputTextCauseV1::layout));
    EXPECT_EQ(d.reasonCodes,
              (QStringList{"text.layout_selected", "text.spell_suppressed_by_layout", "source.select_exact"}));
    EXPECT_EQ(d.sourceAction, Source::selectExact(RU));
    EXPECT_EQ(d.confidence, ManualInputConfidenceV1(Level::dictionary, "layout.evaluator"));
    EXPECT_EQ(d.allowedStateUpdates, (Updates{U::undoSet, U::bufferReplace, U::contextCommitLanguage, U::pendingSourceSet}));

    const auto pending = ManualInputPendingReducerV1::reduce({}, d);
    ASSERT_TRUE(pending.pendingSource);
    EXPECT_EQ(pending.pendingSource->sourceID, RU);
    EXPECT_EQ(pending.pendingSource->ownedBy, "ondrix");
}

TEST(ManualInputDecisionArbiterV1Test, SourceGatesAndRuleSwitches) {
    struct Case {
        const char* name;
        bool editMode, nativeSwitch, confirmed;
        std::optional<QString> current;
        ManualInputSourceRules rules;
        const char* reason;
    } cases[] = {
        {"edit mode tested before the setting", true, false, true, US, {}, "source.blocked.edit_mode"},
        {"always lets edit mode through to the setting", true, false, true, US, {true, false, false}, "source.disabled_by_setting"},
        {"in-edit rule", true, true, true, US, {false, true, false}, "source.select_exact"},
        {"unconfirmed", false, true, false, US, {}, "source.blocked.unconfirmed_transition"},
        {"unconfirmed rule", false, true, false, US, {false, false, true}, "source.select_exact"},
        {"always rule", false, true, false, US, {true, false, false}, "source.select_exact"},
        {"setting before the transition", false, false, false, US, {}, "source.disabled_by_setting"},
        {"already there", false, true, true, RU, {}, "source.already_exact"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualInputSnapshotV1 s = automaticBoth();
        s.context = {c.editMode, c.confirmed};
        s.settings.nativeSwitchEnabled = c.nativeSwitch;
        s.scope.currentSourceID = c.current;
        const auto d = decide(s, c.rules);
        EXPECT_EQ(d.reasonCodes.last(), c.reason);
        const bool selects = QString(c.reason) == "source.select_exact";
        EXPECT_EQ(d.sourceAction, selects ? Source::selectExact(RU) : Source::none());
        EXPECT_EQ(d.allows(U::pendingSourceSet), selects);
        EXPECT_EQ(d.textAction.replacement(), "привет");
    }
}

TEST(ManualInputDecisionArbiterV1Test, AutomaticOutcomesWithoutALayoutCorrection) {
    struct Case {
        const char* name;
        std::function<void(ManualInputSnapshotV1&)> change;
        QStringList reasons;
        Level level;
    } cases[] = {
        {"target absent, spelling lane off",
         [](auto& s) { s.proposals.layout.targetSourceID.reset(); s.settings.spellEnabled = false; },
         {"scope.target_source_unsupported", "lane.spell_disabled", "text.no_accepted_candidate"}, Level::none},
        {"target outside the profile falls to spelling",
         [](auto& s) { s.proposals.layout.targetSourceID = GERMAN; },
         {"scope.target_source_unsupported", "text.spell_selected", "source.none_for_spell"}, Level::heuristic},
        {"layout lane off, empty spelling replacement",
         [](auto& s) { s.settings.automaticLayoutEnabled = false; s.proposals.spell.replacement.clear(); },
         {"lane.layout_disabled", "text.no_accepted_candidate"}, Level::none},
        {"both lanes off",
         [](auto& s) { s.settings.automaticLayoutEnabled = false; s.settings.spellEnabled = false; },
         {"lane.automatic_disabled"}, Level::none},
        {"layout lane off, spelling used",
         [](auto& s) { s.settings.automaticLayoutEnabled = false; },
         {"text.spell_selected", "source.none_for_spell"}, Level::heuristic},
        {"protected token",
         [](auto& s) { s.tokenProtection = ManualInputTokenProtectionV1::tailEdit; },
         {"token.protected.tail_edit"}, Level::blocked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualInputSnapshotV1 s = automaticBoth();
        c.change(s);
        const auto d = decide(s);
        EXPECT_EQ(d.lane, Lane::automatic);
        EXPECT_EQ(d.reasonCodes, c.reasons);
        EXPECT_EQ(d.confidence.level, c.level);
        EXPECT_EQ(d.sourceAction, Source::none());
        if (c.level == Level::heuristic) {
            EXPECT_EQ(d.textAction, Text::replaceToken("ghbdtn", ManualInputTextCauseV1::spell));
            EXPECT_EQ(d.confidence.basis, "spell.dictionary");
            EXPECT_EQ(d.allowedStateUpdates, (Updates{U::undoSet, U::bufferReplace, U::contextCommitLanguage}));
        } else {
            EXPECT_EQ(d.textAction, Text::none());
            EXPECT_EQ(d.confidence.basis, c.reasons.last());
            EXPECT_TRUE(d.allowedStateUpdates.empty());
        }
    }
}

TEST(ManualInputDecisionArbiterV1Test, ManualConverterHonoursTheExplicitRequest) {
    ManualInputSnapshotV1 s = snapshot(Kind::manualDoubleShift, US);
    s.tokenProtection = ManualInputTokenProtectionV1::realWord;  // ignored by the manual path
    s.proposals.manual = ManualInputProposalV1::acceptedWith("руки", RU, ManualInputConfidenceV1(Level::none, "x"));
    auto d = decide(s);
    EXPECT_EQ(d.lane, Lane::manualConverter);
    EXPECT_EQ(d.textAction, Text::replaceSelection("руки", ManualInputTextCauseV1::manualLayout));
    EXPECT_EQ(d.confidence, ManualInputConfidenceV1(Level::explicit_, "manual.double_shift"));
    EXPECT_EQ(d.reasonCodes, (QStringList{"lane.manual_explicit", "text.manual_selected", "source.select_exact_explicit"}));
    EXPECT_EQ(d.sourceAction, Source::selectExact(RU));
    EXPECT_EQ(d.allowedStateUpdates, (Updates{U::undoSet, U::bufferReplace, U::contextCommitLanguage, U::pendingSourceSet}));

    s.scope.currentSourceID = RU;
    d = decide(s);
    EXPECT_EQ(d.reasonCodes.last(), "source.already_exact");
    EXPECT_FALSE(d.allows(U::pendingSourceSet));
    EXPECT_EQ(d.sourceAction, Source::none());

    s.proposals.manual.targetSourceID.reset();
    d = decide(s);
    EXPECT_EQ(d.reasonCodes, QStringList{"scope.target_source_unsupported"});
    EXPECT_EQ(d.lane, Lane::manualConverter);
    EXPECT_EQ(d.confidence.level, Level::blocked);
    EXPECT_EQ(d.allowedStateUpdates, (Updates{U::pendingSourceClear, U::contextReset}));

    s.proposals.manual.replacement.clear();
    d = decide(s);
    EXPECT_EQ(d.reasonCodes, QStringList{"text.no_manual_candidate"});
    EXPECT_TRUE(d.allowedStateUpdates.empty());
}

TEST(ManualInputDecisionArbiterV1Test, UndoRestoresTextAndOnlyItsOwnSourceSwitch) {
    struct Case {
        const char* name;
        bool owned;
        std::optional<QString> previous;
        QString current;
        const char* reason;
    } cases[] = {
        {"owned switch", true, US, RU, "source.restore_owned"},
        {"not owned", false, US, RU, "source.restore_not_owned"},
        {"previous outside the profile", true, GERMAN, RU, "source.blocked.restore_target_unsupported"},
        {"previous absent", true, std::nullopt, RU, "source.blocked.restore_target_unsupported"},
        {"already back", true, RU, RU, "source.already_exact"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualInputSnapshotV1 s = snapshot(Kind::undo, c.current);
        s.undo = {true, "ghbdtn", ManualInputTextCauseV1::layout, c.previous, c.owned};
        const auto d = decide(s);
        EXPECT_EQ(d.lane, Lane::undo);
        EXPECT_EQ(d.textAction, Text::restoreOriginal("ghbdtn", ManualInputTextCauseV1::layout));
        EXPECT_EQ(d.confidence, ManualInputConfidenceV1(Level::explicit_, "undo.user_backspace"));
        EXPECT_EQ(d.reasonCodes, (QStringList{"undo.restore_text", c.reason}));
        const bool restores = QString(c.reason) == "source.restore_owned";
        EXPECT_EQ(d.sourceAction, restores ? Source::restoreExact(*c.previous) : Source::none());
        EXPECT_EQ(d.allowedStateUpdates,
                  (restores ? Updates{U::undoClear, U::contextReset, U::pendingSourceSet} : Updates{U::undoClear, U::contextReset}));
    }
    ManualInputSnapshotV1 s = snapshot(Kind::undo);
    s.undo = {true, "", ManualInputTextCauseV1::layout, US, true};
    EXPECT_EQ(decide(s).reasonCodes, QStringList{"undo.unavailable"});
    EXPECT_EQ(decide(s).confidence, ManualInputConfidenceV1(Level::none, "undo.unavailable"));
}

TEST(ManualInputPendingReducerV1Test, ClearThenSetWhateverTheOrder) {
    const ManualInputPendingStateV1 theirs{ManualInputPendingSourceV1{US, "user"}};
    const ManualInputDecisionV1 nothing(Lane::automatic, Text::none(), Source::none(),
                                        ManualInputConfidenceV1(Level::none, "x"), {}, {});
    EXPECT_EQ(ManualInputPendingReducerV1::reduce(theirs, nothing), theirs);  // keeps the owner it came with

    const ManualInputDecisionV1 setFirst(Lane::automatic, Text::none(), Source::selectExact(RU),
                                         ManualInputConfidenceV1(Level::none, "x"), {},
                                         {U::pendingSourceSet, U::pendingSourceClear});
    EXPECT_EQ(ManualInputPendingReducerV1::reduce(theirs, setFirst).pendingSource,
              (ManualInputPendingSourceV1{RU, "ondrix"}));

    const ManualInputDecisionV1 cancelOnly(Lane::control, Text::none(), Source::cancelPending(),
                                           ManualInputConfidenceV1(Level::explicit_, "x"), {}, {U::contextReset});
    EXPECT_EQ(ManualInputPendingReducerV1::reduce(theirs, cancelOnly), theirs);

    ManualInputSnapshotV1 click = snapshot(Kind::click);
    EXPECT_FALSE(ManualInputPendingReducerV1::reduce(theirs, decide(click)).pendingSource);
    ManualInputSnapshotV1 blockedUndo = snapshot(Kind::undo, GERMAN);
    EXPECT_FALSE(ManualInputPendingReducerV1::reduce(theirs, decide(blockedUndo)).pendingSource);
}

TEST(ManualInputSourceRulesTest, VariableExactlyOneOrTheUserDefault) {
    test::TestEnvironment env;
    const QByteArray old = qgetenv("MURMELO_RULE_TIS_ALWAYS");
    const bool had = qEnvironmentVariableIsSet("MURMELO_RULE_TIS_ALWAYS");
    qputenv("MURMELO_RULE_TIS_ALWAYS", "1");
    env.defaults().set("layoutTisInEdit", true);
    qputenv("MURMELO_RULE_TIS_UNCONFIRMED", "yes");
    auto r = ManualInputSourceRules::read();
    EXPECT_TRUE(r.ruleTisAlways);
    EXPECT_TRUE(r.ruleTisInEdit);
    EXPECT_FALSE(r.ruleTisUnconfirmed);
    qunsetenv("MURMELO_RULE_TIS_UNCONFIRMED");
    qputenv("MURMELO_RULE_TIS_ALWAYS", "0");
    EXPECT_FALSE(ManualInputSourceRules::read().ruleTisAlways);
    if (had) qputenv("MURMELO_RULE_TIS_ALWAYS", old); else qunsetenv("MURMELO_RULE_TIS_ALWAYS");
}
