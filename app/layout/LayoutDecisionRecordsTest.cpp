#include "layout/LayoutWritingTestSupport.h"

using namespace murmelo;
using namespace murmelo::test;
using Kind = LayoutSwitcher::CorrectionKind;
using Phase = ManualInputAutomaticPhaseV1;
using SourceKind = ManualInputSourceActionV1::Kind;

namespace {

struct Records : SwitcherFixture {
    void SetUp() override {
        SwitcherFixture::SetUp();
        SimulatedLayouts::forgetAll();
        env.defaults().set("layoutSwitchEnabled", true);
        steps.frontAppPrior = [] { return std::optional<QString>(); };
    }
    ManualInputDecisionV1 automatic(const QString& target, bool confident = true, Kind kind = Kind::layout) {
        return engine->automaticDecision(Phase::boundary, target == "ru" ? "привет" : "hello", target, confident, false,
                                         kind);
    }
};

// Keys that arrive in Russian while the system still reports US: the keys tell where we are.
TEST_F(Records, TheKeysNameTheCurrentSource) {
    engine->lastKeyTruth = "ru";
    const ManualInputDecisionV1 d = automatic("ru");
    EXPECT_TRUE(d.reasonCodes.contains("source.already_exact")) << d.reasonCodes.join(",").toStdString();
    EXPECT_EQ(d.sourceAction.kind, SourceKind::none);
    EXPECT_EQ(env.logLines().filter("layout: «уже там?» решаю по клавишам (ru), система говорит en").size(), 1);

    engine->lastKeyTruth = "en";
    EXPECT_EQ(automatic("ru").sourceAction, ManualInputSourceActionV1::selectExact(RU));
    EXPECT_EQ(env.logLines().filter("«уже там?»").size(), 1) << "keys and system agree";

    SwitcherFixture::makeEngine({{"MURMELO_RULE_ALREADY_EXACT_BY_KEYS", "0"}});
    engine->lastKeyTruth = "ru";
    EXPECT_EQ(automatic("ru").sourceAction, ManualInputSourceActionV1::selectExact(RU)) << "rule off";
}

// The source follows a correction only on a confirmed transition: never while the hold runs
// or with an unconfident evaluator.
TEST_F(Records, TransitionConfirmation) {
    struct Case {
        const char* name;
        QString target;
        bool confident;
        bool hold;
        std::optional<QString> recent;
        bool confirmed;
    } cases[] = {
        {"Russian confirms itself", "ru", true, false, std::nullopt, true},
        {"unconfident evaluator", "ru", false, false, std::nullopt, false},
        {"native hold", "ru", true, true, std::nullopt, false},
        {"English needs context", "en", true, false, std::nullopt, false},
        {"English after English", "en", true, false, QString("en"), true},
        {"English after English, held", "en", true, true, QString("en"), false},
    };
    for (const Case& c : cases) {
        engine->recentLang = c.recent;
        engine->wordsTyped = 5;
        engine->nativeHoldUntilWord = c.hold ? 6 : -1;
        if (c.target == "en") sources.userSelects(RU);
        else sources.userSelects(US);
        const ManualInputDecisionV1 d = automatic(c.target, c.confident);
        EXPECT_EQ(d.sourceAction.kind == SourceKind::selectExact, c.confirmed) << c.name;
        EXPECT_EQ(d.reasonCodes.contains("source.blocked.unconfirmed_transition"), !c.confirmed) << c.name;
        EXPECT_EQ(d.confidence.level, c.confident ? ManualInputConfidenceLevelV1::dictionary
                                                  : ManualInputConfidenceLevelV1::heuristic)
            << c.name;
    }
}

TEST_F(Records, TheApplicationsLearnedLanguageConfirms) {
    sources.userSelects(RU);
    steps.frontAppPrior = [] { return std::optional<QString>("en"); };
    EXPECT_EQ(automatic("en").sourceAction, ManualInputSourceActionV1::selectExact(US));
}

TEST_F(Records, ScopeSettingsAndKind) {
    ManualInputDecisionV1 spell = automatic("ru", true, Kind::spell);
    EXPECT_EQ(spell.reasonCodes, QStringList{"lane.automatic_disabled"}) << "spelling is switched off";

    const std::optional<quint64> lock = engine->acquireEditLock("polish", 5);
    EXPECT_EQ(automatic("ru").reasonCodes, QStringList{"scope.runtime_mutation_blocked"});
    // The user's own double Shift goes ahead even while another writer holds the lock.
    const ManualInputDecisionV1 manual = engine->manualDecision("привет", RU, false);
    EXPECT_EQ(manual.lane, ManualInputLaneV1::manualConverter);
    EXPECT_EQ(manual.confidence.level, ManualInputConfidenceLevelV1::explicit_);
    EXPECT_EQ(manual.textAction, ManualInputTextActionV1::replaceSelection("привет", ManualInputTextCauseV1::manualLayout));
    EXPECT_EQ(manual.sourceAction, ManualInputSourceActionV1::selectExact(RU));
    engine->releaseEditLock(*lock);

    steps.isRemoteDesktopFrontmost = [] { return true; };
    EXPECT_EQ(automatic("ru").reasonCodes, QStringList{"scope.frontmost_unsupported"});
    EXPECT_EQ(engine->manualDecision("привет", RU, false).reasonCodes, QStringList{"scope.frontmost_unsupported"});
    steps.isRemoteDesktopFrontmost = {};

    env.defaults().set("layoutNativeSwitch", false);
    EXPECT_TRUE(automatic("ru").reasonCodes.contains("source.disabled_by_setting"));
    env.defaults().set("layoutNativeSwitch", true);
    EXPECT_TRUE(engine->automaticDecision(Phase::live, "привет", "ru", true, true, Kind::layout)
                    .reasonCodes.contains("source.blocked.edit_mode"));
}

TEST_F(Records, UndoRestoresTheSourceOnlyWhenWeChangedIt) {
    LayoutSwitcher::PendingCorrection p;
    p.original = "ghbdtn";
    p.converted = "привет";
    p.previousSourceID = US;
    sources.userSelects(RU);
    p.didSwitch = true;
    ManualInputDecisionV1 d = engine->undoDecision(p);
    EXPECT_EQ(d.textAction, ManualInputTextActionV1::restoreOriginal("ghbdtn", ManualInputTextCauseV1::layout));
    EXPECT_EQ(d.sourceAction, ManualInputSourceActionV1::restoreExact(US));
    p.didSwitch = false;
    p.kind = Kind::spell;
    d = engine->undoDecision(p);
    EXPECT_EQ(d.textAction, ManualInputTextActionV1::restoreOriginal("ghbdtn", ManualInputTextCauseV1::spell));
    EXPECT_EQ(d.sourceAction.kind, SourceKind::none);
    EXPECT_TRUE(d.reasonCodes.contains("source.restore_not_owned"));
}

}  // namespace
