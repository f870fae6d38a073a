#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

using SwitcherTap = SwitcherFixture;

TEST_F(SwitcherTap, TheTapReachesTheEngine) {
    env.defaults().set("layoutSwitchEnabled", true);
    engine->loaded = true;
    LayoutManualConversion manual(*engine);
    // Polish hears only live typing here.
    struct LiveNotes final : SwitcherPolish {
        int live = 0;
        void notePolishDown() override {}
        void notePolishUp() override {}
        void cancelPendingPolish(const QString&) override {}
        void noteSpaceTyped() override {}
        void notePolishLiveTyping() override { ++live; }
        void auditUndoEdit(const AXElementPtr&, const DeliveryRepair::EditPacket&, quint64) override {}
    } polish;
    LayoutSwitcherTap tap(*engine, manual, polish);
    ScopedService<TapLayoutSwitcher> scope{tap};
    InputEvent e;
    e.unicode = "a";
    tap.noteRealKeyDown();
    EXPECT_FALSE(TapLayoutSwitcher::shared().handleKeyDown(e)) << "nothing decides yet: every key passes";
    EXPECT_EQ(engine->buf, "a");
    EXPECT_EQ(engine->typedGen, 1u);
    TapLayoutSwitcher::shared().notePolishLiveTyping();
    EXPECT_EQ(polish.live, 1);
    TapLayoutSwitcher::shared().noteCursorMoved();
    EXPECT_EQ(engine->buf, "");
    EXPECT_EQ(engine->bufStart, LayoutSwitcher::BufStart::click);
}

}  // namespace

#include "layout/LayoutGates.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherHost.h"

namespace {

TEST_F(SwitcherTap, AnApplicationSwitchGoesThroughTheHostAndDropsTheWord) {
    struct Host : LayoutSwitcherHost {
        LayoutSwitcher* engine = nullptr;
        QStringList activated;
        void noteCursorMoved() override { engine->noteCursorMoved(); }
    } host;
    host.engine = engine.get();
    ScopedService<LayoutSwitcherHost> hostScope{host};
    LayoutAppGates gates(*engine);
    LayoutOutput output(*engine, gates);
    SwitchSoundEffects effects;
    LayoutSourceSelection selection(*engine, effects);
    useOutput(steps, output, selection);
    useHost(steps, host);
    useDecision(steps, *engine, LayoutLexicons::shared());
    engine->start();
    engine->buf = "ab";
    desktop.addApp("org.example.editor", "Editor");
    desktop.focus("org.example.editor");
    EXPECT_EQ(engine->buf, "");
    EXPECT_EQ(engine->bufStart, LayoutSwitcher::BufStart::click);
}

}  // namespace
