#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutStandTestSupport.h"

using namespace murmelo;
using murmelo::test::StandFixture;

namespace {

// Live correction joined to the engine as the application joins it, on the stand; only the
// scoring is a stand-in: a word of four letters or more typed on the wrong layout is certain.
struct LiveOnStand : StandFixture, LayoutLiveCorrection::Words {
    std::unique_ptr<LayoutKeyTruth> truth;
    std::unique_ptr<LayoutCorrectionApply> apply;
    std::unique_ptr<LayoutLiveCorrection> live;
    QSet<QString> realWords;  // "layout:word"

    void SetUp() override {
        StandFixture::SetUp();
        truth = std::make_unique<LayoutKeyTruth>(*engine);
        apply = std::make_unique<LayoutCorrectionApply>(*engine, *gates);
        useKeyTruth(steps, *truth);
        useCorrection(steps, *apply);
        live = std::make_unique<LayoutLiveCorrection>(*engine, *gates, *apply, std::make_shared<LayoutBoundaryDecision>(*engine),
                                                      *this);
        useLiveCorrection(steps, *engine, *live);
    }
    std::optional<WordAnalysis> analyze(const QString& core, const QString& src) override {
        const QString other = src == "en" ? "ru" : "en";
        const std::optional<QString> converted = LayoutMaps::convert(core, src, other);
        if (!converted || core.size() < 4) return std::nullopt;
        return WordAnalysis{other, *converted, 1.0};
    }
    bool isRealWordInLayout(const QString& w, const QString& l, bool) override { return realWords.contains(l + ":" + w); }
    bool isRealShortWordCurated(const QString&, const QString&, bool) override { return false; }
    bool livePrefixVeto(const QString&, const QString&) override { return false; }
    bool liveStemVeto(const QString&, const QString&) override { return false; }

    void backspace() {
        InputEvent e;
        e.keyCode = LayoutSwitcher::keyCodeBackspace;
        e.unicode = QStringLiteral("\b");
        if (!engine->handleKeyDown(e)) stage->humanBackspace();
        stage->tickKeystroke();
        env.advance(0);
    }
};

TEST_F(LiveOnStand, AWordFlipsAtItsFourthKeyAndTheKeyboardFollows) {
    typeKeys("ghb");
    EXPECT_EQ(stage->text(), "ghb");
    typeKeys("d");
    EXPECT_EQ(stage->text(), "прив");
    EXPECT_EQ(stage->realSourceID, RU);
    env.advance(engine->graceWindow);  // past the own switch's grace: the live bridge types the rest
    typeKeys("tn ");
    EXPECT_EQ(stage->text(), "привет ");
    EXPECT_TRUE(env.logContains("layout: LIVE-флип "));
    EXPECT_TRUE(env.logContains("layout/флип-затем: исход=граница, букв 2, bs 0, слово 4 симв."));
}

TEST_F(LiveOnStand, TheNextBackspaceTakesTheFlipBack) {
    typeKeys("ghbd");
    ASSERT_EQ(stage->text(), "прив");
    backspace();
    EXPECT_EQ(stage->text(), "ghbd");
    EXPECT_TRUE(engine->liveRetypeVeto);
    EXPECT_TRUE(env.logContains("исход=откат-backspace"));
    typeKeys("t");
    EXPECT_EQ(stage->text().left(4), "ghbd") << "the same word is not flipped again";
}

TEST_F(LiveOnStand, ARealWordTypedOnTheOtherLayoutComesBackAtTheSpace) {
    // "thin" is not known here, "things" is: the flip at the fourth key is taken back at the end.
    realWords << "en:things";
    typeKeys("thin");
    ASSERT_EQ(stage->text(), "ершт");
    env.advance(engine->graceWindow);
    typeKeys("gs ");
    EXPECT_EQ(stage->text(), "things ");
    EXPECT_TRUE(env.logContains("(улика словаря)"));
}

}  // namespace
