// A word typed in the wrong layout, corrected by the switcher and taken back, as the user's
// keys arrive through the event tap.
#include "Desk.h"

#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "layout/KeyboardTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
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

// The switcher engine on the desk's keyboard (US and Russian, US current), joined to its
// parts as the application joins them, with its hands in the desk's fields, deciding with the
// shipped models and word tables (the spell checker knows no words here).
class LayoutCorrectionTest : public ::testing::Test {
protected:
    e2e::Desk desk;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    sim::SimSpellChecker speller;
    ScopedService<SpellChecker> spellerScope{speller};
    std::unique_ptr<LayoutSwitcher> engine;
    std::unique_ptr<LayoutLexicons> lexicons;
    std::unique_ptr<LayoutEngineParts> parts;
    std::unique_ptr<LayoutSwitcherTap> tap;
    std::unique_ptr<ScopedService<TapLayoutSwitcher>> tapScope;
    QStringList cues;

    void SetUp() override {
        forgetLayouts();
        desk.setting("layoutSwitchEnabled", true);
        engine = std::make_unique<LayoutSwitcher>(
            LayoutRules::read([](const char*) { return std::optional<QString>(); }, Defaults::shared()));
        engine->loaded = true;
        const QString models = murmeloSourceRoot() + QStringLiteral("/resources/layout-models");
        for (const QString& code : LayoutMaps::layoutOrder()) {
            if (auto m = NgramModel::load(models + QLatin1Char('/') + code + QStringLiteral(".json")))
                engine->models.insert_or_assign(code, std::move(*m));
        }
        speller.languages = {QStringLiteral("en_US"), QStringLiteral("ru_RU")};
        lexicons = std::make_unique<LayoutLexicons>(models, LayoutSwitcherRules{});
        lexicons->loadSpellIfNeeded();
        parts = std::make_unique<LayoutEngineParts>(*engine, lexicons.get());
        parts->selection->playCue = [this](const QString& cue) { cues << cue; };
        tap = std::make_unique<LayoutSwitcherTap>(*engine);
        tapScope = std::make_unique<ScopedService<TapLayoutSwitcher>>(*tap);
    }
    void TearDown() override {
        tapScope.reset();
        parts.reset();
        forgetLayouts();
    }
    QString currentSource() const { return sources.currentSource() ? sources.currentSource()->id : QString(); }
};

TEST_F(LayoutCorrectionTest, AWordTypedOnTheWrongLayoutIsCorrectedAndBackspaceTakesItBack) {
    // Judged at its end only: with live correction the word would be flipped while typed.
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет "));
    EXPECT_EQ(currentSource(), RU);
    EXPECT_EQ(cues, QStringList{"ru"});

    desk.press(51).wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ")) << desk.env.logText().toStdString();
    EXPECT_EQ(currentSource(), US);
    EXPECT_EQ(cues, (QStringList{"ru", "rollback"}));
    EXPECT_EQ(desk.pastesPosted(), 1) << "the undo lands as one paste";

    // The word goes on being typed as the user types it.
    desk.type(QStringLiteral("ok"));
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ok"));
}

TEST_F(LayoutCorrectionTest, BackspaceAfterTheUndoWindowErasesAsUsual) {
    desk.setting(LayoutSwitcher::LIVE_KEY, false);
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(LayoutSwitcher::undoMaxAge);
    desk.press(51);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет"));
    EXPECT_EQ(currentSource(), RU);
}

// As the application runs by default: the word is flipped while it is typed, and only the very
// next key can take the flip back; a Backspace after the word's end erases as usual.
TEST_F(LayoutCorrectionTest, ALiveFlipStandsOnceTheWordGoesOn) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет "));
    EXPECT_EQ(currentSource(), RU);
    EXPECT_TRUE(desk.logHas("layout: LIVE-флип"));
    desk.press(51).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет"));
}

TEST_F(LayoutCorrectionTest, BackspaceRightAfterALiveFlipTakesItBackAndTheWordStaysAsTyped) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdt")).wait(0.2);
    ASSERT_EQ(desk.fieldText(), QStringLiteral("приве")) << desk.env.logText().toStdString();
    desk.press(51).wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdt")) << desk.env.logText().toStdString();
    EXPECT_TRUE(desk.logHas("layout: ОТКАТ live-флипа"));
    EXPECT_EQ(currentSource(), US);
    desk.type(QStringLiteral("n ")).wait(0.2);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtn ")) << desk.env.logText().toStdString();
}

}  // namespace
