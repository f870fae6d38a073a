#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

const QString RU = ManualInputSourceProfileV1::russianApple;
const QString US = *ManualInputSourceProfileV1::sourceID("en");

// The engine's own selections over the simulated US and Russian sources, US current.
struct Selection : SwitcherFixture {
    test::HeardCues heard;
    QStringList& cues = heard.cues;
    std::unique_ptr<LayoutSourceSelection> sel;
    QList<bool> completions;

    void SetUp() override {
        SwitcherFixture::SetUp();
        sel = std::make_unique<LayoutSourceSelection>(*engine, heard);
    }
    std::function<void(bool)> done() {
        return [this](bool ok) { completions << ok; };
    }
};

TEST_F(Selection, SelectsAfterTheDelayArmsWindowsAndConfirms) {
    engine->layoutVerifyRetries = 1;
    ASSERT_TRUE(sel->selectExactSource(RU, false, std::nullopt, done()));
    EXPECT_EQ(engine->graceTarget, std::optional<QString>("ru"));
    EXPECT_EQ(engine->layoutVerifyTarget, std::optional<QString>("ru"));
    EXPECT_EQ(engine->layoutVerifyRetries, 0);
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    env.advance(0.1);
    EXPECT_EQ(sources.selectCalls, QStringList{RU});
    EXPECT_EQ(completions, QList<bool>{true});
    EXPECT_EQ(cues, QStringList{"ru"});
    ASSERT_TRUE(engine->lastOwnSelect);
    EXPECT_EQ(engine->lastOwnSelect->sourceID, RU);
    env.advance(0.1);
    EXPECT_FALSE(env.logContains("layout/доезд")) << "an arrived source says nothing";
}

TEST_F(Selection, OnlyTheLatestOfTwoQuickRequestsRuns) {
    QList<int> first;
    ASSERT_TRUE(sel->selectExactSource(RU, false, std::nullopt, [&](bool ok) { first << ok; }));
    env.advance(0.03);
    ASSERT_TRUE(sel->selectExactSource(US, false, std::nullopt, done()));
    env.advance(0.2);
    EXPECT_EQ(sources.selectCalls, QStringList{US});
    EXPECT_TRUE(first.isEmpty());
    EXPECT_EQ(completions, QList<bool>{true});
}

TEST_F(Selection, RefusalsTable) {
    struct Case {
        const char* name;
        std::function<void(Selection&)> before;
        QString target;
        bool completionFalse;  // the completion is called with false at once
    };
    const Case cases[] = {
        {"target outside the profile", [](Selection&) {}, "xkb:de", true},
        {"current source a third layout",
         [](Selection& t) { t.steps.systemSourceID = [] { return std::optional<QString>("xkb:de"); }; }, RU, true},
        {"target not enabled", [](Selection& t) { t.sources.setEnabled({US}); }, RU, false},
        {"left Command held", [](Selection& t) { t.engine->noteLeftCommandChanged(true); }, RU, false},
        {"just after a shortcut", [](Selection& t) { t.engine->noteUserShortcut(); }, RU, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sel.reset();  // it holds the engine about to be replaced
        makeEngine();
        steps.systemSourceID = nullptr;  // the source a case set belonged to its engine
        sources.setEnabled({US, RU});
        sel = std::make_unique<LayoutSourceSelection>(*engine, heard);
        completions.clear();
        c.before(*this);
        EXPECT_FALSE(sel->selectExactSource(c.target, false, std::nullopt, done()));
        EXPECT_FALSE(engine->graceTarget);
        env.advance(0.2);
        EXPECT_TRUE(sources.selectCalls.isEmpty());
        EXPECT_EQ(completions, c.completionFalse ? QList<bool>{false} : QList<bool>{});
    }
}

TEST_F(Selection, UserSwitchBeforeThePerformanceCancelsIt) {
    sources.userSelects(RU);
    ASSERT_TRUE(sel->selectExactSource(US, false, std::nullopt, done()));
    sources.userSelects(US);
    env.advance(0.1);
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    EXPECT_EQ(completions, QList<bool>{false});
    EXPECT_FALSE(engine->graceTarget);
    EXPECT_TRUE(env.logContains("layout: exact TIS отменён — input source изменён до записи"));
}

TEST_F(Selection, ShortcutAfterAskingVoidsTheTicket) {
    ASSERT_TRUE(sel->selectExactSource(RU, false, std::nullopt, done()));
    engine->noteUserShortcut();
    env.advance(0.1);
    EXPECT_TRUE(sources.selectCalls.isEmpty());
}

TEST_F(Selection, SourceThatDoesNotArriveFailsAndClearsTheWindows) {
    sources.loseSelection = true;  // says yes, changes nothing
    ASSERT_TRUE(sel->selectExactSource(RU, true, QString("rollback"), done()));
    env.advance(0.1);
    EXPECT_TRUE(completions.isEmpty());
    env.advance(0.05);
    EXPECT_EQ(completions, QList<bool>{false});
    EXPECT_FALSE(engine->graceTarget);
    EXPECT_FALSE(engine->layoutVerifyTarget);
    EXPECT_EQ(cues, QStringList{"rollback"});
    EXPECT_TRUE(env.logContains("layout/доезд: просили ru, настройки говорят en, TIS говорит en"));

    sources.loseSelection = false;
    sources.refuseSelection = true;
    completions.clear();
    ASSERT_TRUE(sel->selectLayout("ru", false, std::nullopt, done()));
    env.advance(0.1);
    EXPECT_EQ(completions, QList<bool>{false});
    EXPECT_FALSE(sel->fireIdleReselect(RU));
}

TEST_F(Selection, ReleaseGateInjectionFailsEverySelection) {
    heard.forceFailure = true;
    ASSERT_TRUE(sel->selectExactSource(RU, false, std::nullopt, done()));
    env.advance(0.1);
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    EXPECT_EQ(completions, QList<bool>{false});
    EXPECT_TRUE(env.logContains("layout: exact TIS failure injected by manual-input release gate"));
}

}  // namespace
