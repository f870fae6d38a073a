#include "ui/AppState.h"
#include "base/Bundle.h"
#include "platform/Service.h"
#include "sim/SimDesktop.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QMenu>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct Drop {
    DropState state;
    bool particleOnly;
    bool cloud;
    bool operator==(const Drop&) const = default;
};

class RecordingLadder : public LadderPresence {
public:
    explicit RecordingLadder(std::vector<LadderState>& log) : log_(log) {}
    void set(LadderState s) override { log_.push_back(s); }

private:
    std::vector<LadderState>& log_;
};

class RecordingDrop : public DropPresence {
public:
    explicit RecordingDrop(std::vector<Drop>& log) : log_(log) {}
    void set(DropState s, bool particleOnly, bool cloud) override { log_.push_back({s, particleOnly, cloud}); }

private:
    std::vector<Drop>& log_;
};

class RecordingPanel : public QuickPanelController {
public:
    int toggles = 0;
    void toggle(QScreen*) override { ++toggles; }
};

class AppStateTest : public ::testing::Test {
protected:
    AppStateTest()
        : hub(std::make_unique<RecordingLadder>(ladder), std::make_unique<RecordingDrop>(drops)),
          workspaceScope_(desktop),
          panelScope_(panel) {
        Bundle::setInfoForTesting(QHash<QString, QString>{{"MurmeloBuildBranch", "main"}});
    }
    ~AppStateTest() override {
        Bundle::setInfoForTesting(std::nullopt);
    }
    OrbIconMode icon() const { return hub.item->mode(); }

    test::TestEnvironment env;
    std::vector<LadderState> ladder;
    std::vector<Drop> drops;
    sim::SimDesktop desktop;
    RecordingPanel panel;
    AppState hub;

private:
    ScopedService<Workspace> workspaceScope_;
    ScopedService<QuickPanelController> panelScope_;
};

TEST_F(AppStateTest, EachSetterDrivesIconLadderAndDrop) {
    hub.ensureStatusItem();
    const auto tmpl = OrbIconMode::templated();
    const auto purple = OrbIconMode::solid(OrbColors::purple());
    struct Case {
        const char* name;
        std::function<void()> call;
        OrbIconMode icon;
        LadderState ladder;
        Drop drop;
    };
    const Case cases[] = {
        {"idle", [&] { hub.idle(); }, tmpl, LadderState::rest, {DropState::idle, false, false}},
        {"succeeded", [&] { hub.succeeded(true); }, tmpl, LadderState::rest, {DropState::succeeded, false, true}},
        {"recording", [&] { hub.recording("Notes", {}); }, tmpl, LadderState::live, {DropState::recording, false, false}},
        {"recordingQuickReply", [&] { hub.recordingQuickReply(); }, purple, LadderState::live, {DropState::recording, false, true}},
        {"generatingQuickReply", [&] { hub.generatingQuickReply(); }, purple, LadderState::think, {DropState::recognizing, false, true}},
        {"transcribing", [&] { hub.transcribing(true); }, tmpl, LadderState::think, {DropState::recognizing, false, true}},
        {"transcribeFailed", [&] { hub.transcribeFailed(); }, OrbIconMode::solid(OrbColors::orange()), LadderState::error, {DropState::idle, false, false}},
        {"captureFailed", [&] { hub.captureFailed(); }, OrbIconMode::solid(OrbColors::red()), LadderState::error, {DropState::idle, false, false}},
    };
    qint64 generation = hub.generation();
    for (const Case& c : cases) {
        c.call();
        EXPECT_EQ(hub.generation(), ++generation) << c.name;
        EXPECT_TRUE(icon() == c.icon) << c.name;
        EXPECT_EQ(ladder.back(), c.ladder) << c.name;
        EXPECT_EQ(drops.back(), c.drop) << c.name;
    }
    EXPECT_EQ(ladder.size(), std::size(cases));
    EXPECT_EQ(drops.size(), std::size(cases));
}

TEST_F(AppStateTest, LitBarShowsTheChromeOrbOnlyForARealTrue) {
    hub.ensureStatusItem();
    struct Case { QVariant stored; bool chrome; };
    const Case cases[] = {{{}, false}, {true, true}, {false, false}, {"true", false}, {1, false}};
    for (const Case& c : cases) {
        if (c.stored.isValid()) env.defaults().set("barIconLit", c.stored);
        else env.defaults().remove("barIconLit");
        const auto expected = c.chrome ? OrbIconMode::chrome() : OrbIconMode::templated();
        hub.recording("App", {});
        EXPECT_TRUE(icon() == expected) << c.stored.toString().toStdString();
        hub.transcribing(false);
        EXPECT_TRUE(icon() == expected) << c.stored.toString().toStdString();
    }
}

TEST_F(AppStateTest, AFailureFallsBackToRestAfterFourSecondsWithoutTouchingTheDrop) {
    hub.ensureStatusItem();
    hub.captureFailed();
    const qint64 generation = hub.generation();
    env.advance(3.9);
    EXPECT_TRUE(icon() == OrbIconMode::solid(OrbColors::red()));
    EXPECT_EQ(ladder.back(), LadderState::error);
    env.advance(0.1);
    EXPECT_TRUE(icon() == OrbIconMode::templated());
    EXPECT_EQ(ladder.back(), LadderState::rest);
    EXPECT_EQ(drops.size(), 1u);  // idle since the failure, not set again
    EXPECT_EQ(hub.generation(), generation);
}

TEST_F(AppStateTest, ANewerStateCancelsTheFallBack) {
    hub.ensureStatusItem();
    hub.transcribeFailed();
    env.advance(1.0);
    hub.recording("Notes", {});
    env.advance(10.0);
    EXPECT_EQ(ladder.back(), LadderState::live);
    EXPECT_TRUE(icon() == OrbIconMode::templated());
    EXPECT_EQ(ladder.size(), 2u);
}

TEST_F(AppStateTest, OnlyTheLastOfTwoFailuresFallsBack) {
    hub.ensureStatusItem();
    hub.transcribeFailed();
    env.advance(2.0);
    hub.captureFailed();
    env.advance(2.5);  // the first one's time has passed: nothing happens
    EXPECT_EQ(ladder.back(), LadderState::error);
    EXPECT_TRUE(icon() == OrbIconMode::solid(OrbColors::red()));
    env.advance(1.5);
    EXPECT_EQ(ladder.back(), LadderState::rest);
    EXPECT_TRUE(icon() == OrbIconMode::templated());
    EXPECT_EQ(ladder.size(), 3u);
}

TEST_F(AppStateTest, WithoutAStatusItemTheIndicatorsStillFollow) {
    hub.captureFailed();
    hub.recording("x", {});
    hub.idle();
    EXPECT_FALSE(hub.item);
    EXPECT_EQ(ladder, (std::vector<LadderState>{LadderState::error, LadderState::live, LadderState::rest}));
    env.advance(5.0);
    EXPECT_EQ(ladder.size(), 3u);
    hub.ensureStatusItem();
    hub.removeStatusItem();
    hub.removeStatusItem();
    EXPECT_FALSE(hub.item);
}

TEST_F(AppStateTest, AWorkBuildShowsItsBadgeFromTheFirstStateChange) {
    Bundle::setInfoForTesting(QHash<QString, QString>{{"MurmeloBuildBranch", "feature/sound-cues-extra-a1b2c3"}});
    hub.ensureStatusItem();
    EXPECT_EQ(hub.item->title(), "");
    hub.idle();
    EXPECT_EQ(hub.item->title(), " sound-cues");
    Bundle::setInfoForTesting(QHash<QString, QString>{{"MurmeloBuildBranch", "main"}});
    hub.idle();
    EXPECT_EQ(hub.item->title(), "");
}

// Making the status item asks the platform whether a tray can show it (it logs a missing
// tray once); an item already made asks nothing.
TEST_F(AppStateTest, MakingTheStatusItemAsksWhetherATrayCanShowIt) {
    int asked = 0;
    hub.trayHostAvailable = [&] {
        ++asked;
        return false;
    };
    hub.ensureStatusItem();
    hub.ensureStatusItem();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(hub.item);
}

TEST_F(AppStateTest, RightOrControlClickOpensTheMenuAndAPlainClickTogglesThePanel) {
    hub.ensureStatusItem();
    QMenu menu;
    hub.appMenu = &menu;
    int opened = 0;
    hub.openMenu = [&](QMenu* m) { EXPECT_EQ(m, &menu); ++opened; };
    desktop.addApp("org.example.editor", "Editor");
    desktop.focus("org.example.editor");

    hub.statusItemClicked(true, Qt::NoModifier);
    hub.statusItemClicked(false, Qt::ControlModifier);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(panel.toggles, 0);
    EXPECT_FALSE(hub.frontAppBeforeMenu);

    hub.statusItemClicked(false, Qt::NoModifier);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(panel.toggles, 1);
    ASSERT_TRUE(hub.frontAppBeforeMenu);
    EXPECT_EQ(hub.frontAppBeforeMenu->bundleIdentifier, "org.example.editor");

    // Without a menu even a right click toggles the panel.
    hub.appMenu = nullptr;
    hub.statusItemClicked(true, Qt::NoModifier);
    EXPECT_EQ(panel.toggles, 2);
}

TEST_F(AppStateTest, AClickWhileThisApplicationIsInFrontKeepsThePreviousApplication) {
    desktop.addApp("org.example.editor", "Editor");
    desktop.focus("org.example.editor");
    hub.rememberFrontApp();
    sim::SimApp& self = desktop.addApp("com.local.murmelo", "Ondrix");
    self.identity.pid = QCoreApplication::applicationPid();
    desktop.focus("com.local.murmelo");
    hub.statusItemClicked(false, Qt::NoModifier);
    ASSERT_TRUE(hub.frontAppBeforeMenu);
    EXPECT_EQ(hub.frontAppBeforeMenu->bundleIdentifier, "org.example.editor");
}

TEST(OrbShapeTest, CatmullRomPassesThroughEveryPointAndCloses) {
    const QList<QPointF> square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const QPainterPath path = OrbShape::catmullClosed(square);
    ASSERT_EQ(path.elementCount(), 1 + 3 * 4);
    for (int i = 0; i < 4; ++i) {
        const QPainterPath::Element end = path.elementAt(3 * (i + 1));
        EXPECT_EQ(QPointF(end), square[(i + 1) % 4]);
    }
    // First control point: p0 + (p1 - p3) / 6.
    EXPECT_EQ(QPointF(path.elementAt(1)), QPointF(10.0 / 6, -10.0 / 6));
    EXPECT_EQ(OrbShape::catmullClosed({{3, 4}}).currentPosition(), QPointF(3, 4));
}

TEST(OrbShapeTest, TheOutlinesStayNearTheirRadius) {
    const auto bar = OrbShape::barPoints({9, 9}, 6.5);
    ASSERT_EQ(bar.size(), 40);
    EXPECT_NEAR(bar[0].x(), 9 + 6.5 * (1 + 0.07 * std::sin(0.6) + 0.045 * std::sin(-0.3)), 1e-9);
    EXPECT_EQ(bar, OrbShape::barPoints({9, 9}, 6.5));
    // At rest (lv 0) the animated outline wobbles by at most 0.5 x 0.195 of R.
    const QRectF quiet = OrbShape::path({0, 0}, 100, 1.7, 0).boundingRect();
    EXPECT_LT(quiet.width(), 2 * 100 * 1.1);
    EXPECT_GT(quiet.width(), 2 * 100 * 0.9);
    const QRectF loud = OrbShape::path({0, 0}, 100, 1.7, 1).boundingRect();
    EXPECT_GT(loud.width(), quiet.width());
}

TEST(OrbIconTest, ModesCompareByKindAndSolidColour) {
    EXPECT_TRUE(OrbIconMode::solid(Qt::red) == OrbIconMode::solid(Qt::red));
    EXPECT_FALSE(OrbIconMode::solid(Qt::red) == OrbIconMode::solid(Qt::blue));
    EXPECT_TRUE(OrbIconMode::chrome() == OrbIconMode::chrome());
    EXPECT_FALSE(OrbIconMode::chrome() == OrbIconMode::templated());
}

TEST(OrbIconTest, PaintsEachModeInsideATransparentSquare) {
    struct Case { OrbIconMode mode; bool dark; QColor centre; };
    const Case cases[] = {
        {OrbIconMode::templated(), false, Qt::black},
        {OrbIconMode::templated(), true, Qt::white},
        {OrbIconMode::solid(OrbColors::red()), false, OrbColors::red()},
        {OrbIconMode::solid(OrbColors::purple()), false, OrbColors::purple()},
    };
    for (const Case& c : cases) {
        for (double scale : {1.0, 2.0}) {
            const QImage img = orbBarIcon(c.mode, scale, c.dark);
            ASSERT_EQ(img.size(), QSize(int(18 * scale), int(18 * scale)));
            const QColor centre = img.pixelColor(img.width() / 2, img.height() / 2);
            EXPECT_EQ(centre.rgba(), c.centre.rgba()) << int(c.mode.kind) << " x" << scale;
            EXPECT_LT(img.pixelColor(0, 0).alpha(), 12) << int(c.mode.kind);
            EXPECT_LT(img.pixelColor(img.width() - 1, img.height() - 1).alpha(), 12);
        }
    }
    // The template orb has no glow: just outside its box nothing is painted.
    EXPECT_EQ(orbBarIcon(OrbIconMode::templated()).pixelColor(9, 0).alpha(), 0);
    // The solid orb glows there in its own colour.
    const QColor glow = orbBarIcon(OrbIconMode::solid(OrbColors::red())).pixelColor(9, 1);
    EXPECT_GT(glow.alpha(), 0);
    EXPECT_GT(glow.red(), glow.blue());
}

TEST(OrbIconTest, TheChromeOrbIsLitFromTheUpperLeft) {
    const QImage img = orbBarIcon(OrbIconMode::chrome(), 4.0);
    // Image rows grow downwards: the highlight sits up and left of the centre.
    const QColor highlight = img.pixelColor(int(4 * (9 - 1.56)), int(4 * (9 - 1.82)));
    const QColor rim = img.pixelColor(int(4 * 13.5), int(4 * 13.5));
    EXPECT_EQ(highlight.alpha(), 255);
    EXPECT_GT(highlight.red() + highlight.green(), rim.red() + rim.green() + 100);
    EXPECT_GT(highlight.blue(), highlight.red());
}

}  // namespace
