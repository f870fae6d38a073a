#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

using SwitcherTap = SwitcherFixture;

TEST_F(SwitcherTap, TheTapReachesTheEngine) {
    env.defaults().set("layoutSwitchEnabled", true);
    engine->loaded = true;
    LayoutSwitcherTap tap(*engine);
    ScopedService<TapLayoutSwitcher> scope{tap};
    InputEvent e;
    e.unicode = "a";
    tap.noteRealKeyDown();
    EXPECT_FALSE(TapLayoutSwitcher::shared().handleKeyDown(e)) << "nothing decides yet: every key passes";
    EXPECT_EQ(engine->buf, "a");
    EXPECT_EQ(engine->typedGen, 1u);
    int liveNotes = 0;
    steps.notePolishLiveTyping = [&liveNotes] { ++liveNotes; };
    TapLayoutSwitcher::shared().notePolishLiveTyping();
    EXPECT_EQ(liveNotes, 1);
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
