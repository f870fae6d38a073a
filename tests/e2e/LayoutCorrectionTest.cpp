// A word typed in the wrong layout, corrected by the switcher and taken back, as the user's
// keys arrive through the event tap.
#include "Desk.h"

#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "layout/KeyboardTruth.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "layout/SystemLayouts.h"
#include "platform/Service.h"
#include "sim/SimInputSources.h"
#include "sim/SimSpellChecker.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString US = ManualInputSourceProfileV1::englishUS;
const QString RU = ManualInputSourceProfileV1::russianApple;

void forgetLayouts() {
    SystemLayouts::forgetCache();
    SystemInputSourcePrefs::resetForTesting();
    LayoutMaps::resetForTesting();
    KeyboardTruth::resetForTesting();
}

// The switcher engine on the desk's keyboard (US and Russian, US current), with its hands in
// the desk's fields, deciding with the shipped models and word tables (the spell checker knows
// no words here).
class LayoutCorrectionTest : public ::testing::Test {
protected:
    e2e::Desk desk;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    std::unique_ptr<LayoutSwitcher> engine;
    std::unique_ptr<LayoutSwitcherTap> tap;
    std::unique_ptr<ScopedService<TapLayoutSwitcher>> tapScope;
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutOutput> output;
    std::unique_ptr<LayoutSourceSelection> selection;
    std::unique_ptr<LayoutKeyTruth> truth;
    std::unique_ptr<LayoutCorrectionApply> apply;
    sim::SimSpellChecker speller;
    ScopedService<SpellChecker> spellerScope{speller};
    std::unique_ptr<LayoutLexicons> lexicons;
    QStringList cues;

    void SetUp() override {
        forgetLayouts();
        desk.setting("layoutSwitchEnabled", true);
        engine = std::make_unique<LayoutSwitcher>(
            LayoutRules::read([](const char*) { return std::optional<QString>(); }, Defaults::shared()));
        engine->loaded = true;
        gates = std::make_unique<LayoutAppGates>(*engine);
        output = std::make_unique<LayoutOutput>(*engine, *gates);
        selection = std::make_unique<LayoutSourceSelection>(*engine);
        selection->playCue = [this](const QString& cue) { cues << cue; };
        truth = std::make_unique<LayoutKeyTruth>(*engine);
        apply = std::make_unique<LayoutCorrectionApply>(*engine, *gates);
        bindOutputSteps(*engine, *output, *selection);
        connectEngineGates(*engine, *gates);
        bindKeyTruthSteps(*engine, *truth);
        bindCorrectionSteps(*engine, *apply);
        const QString models = murmeloSourceRoot() + QStringLiteral("/resources/layout-models");
        for (const QString& code : LayoutMaps::layoutOrder()) {
            if (auto m = NgramModel::load(models + QLatin1Char('/') + code + QStringLiteral(".json")))
                engine->models.insert_or_assign(code, std::move(*m));
        }
        speller.languages = {QStringLiteral("en_US"), QStringLiteral("ru_RU")};
        lexicons = std::make_unique<LayoutLexicons>(models, LayoutSwitcherRules{});
        lexicons->loadSpellIfNeeded();
        bindDecisionSteps(*engine, *lexicons);
        tap = std::make_unique<LayoutSwitcherTap>(*engine);
        tapScope = std::make_unique<ScopedService<TapLayoutSwitcher>>(*tap);
    }
    void TearDown() override {
        tapScope.reset();
        apply.reset();
        truth.reset();
        selection.reset();
        forgetLayouts();
    }
    QString currentSource() const { return sources.currentSource() ? sources.currentSource()->id : QString(); }
};

TEST_F(LayoutCorrectionTest, AWordTypedOnTheWrongLayoutIsCorrectedAndBackspaceTakesItBack) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет "));
    EXPECT_EQ(currentSource(), RU);
    EXPECT_EQ(cues, QStringList{"ru"});

    desk.press(51).wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn "));
    EXPECT_EQ(currentSource(), US);
    EXPECT_EQ(cues, (QStringList{"ru", "rollback"}));
    EXPECT_EQ(desk.pastesPosted(), 1) << "the undo lands as one paste";

    // The word goes on being typed as the user types it.
    desk.type(QStringLiteral("ok"));
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ok"));
}

TEST_F(LayoutCorrectionTest, BackspaceAfterTheUndoWindowErasesAsUsual) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(LayoutSwitcher::undoMaxAge);
    desk.press(51);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет"));
    EXPECT_EQ(currentSource(), RU);
}

}  // namespace
