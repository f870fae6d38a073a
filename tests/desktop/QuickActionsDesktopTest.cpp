// The selection reader on the test desktop: a word double-clicked in the target's line edit
// is read through AT-SPI with its bounds; a drag over the target's drawn text, which has no
// accessible text and puts the selection into PRIMARY, is read from PRIMARY without a key.
#include "ai/QuickActionSelectionReader.h"
#include "input/ClipboardManager.h"
#include "linux/AtspiAccessibility.h"
#include "linux/QtPasteboard.h"
#include "linux/QtScreens.h"
#include "linux/X11Workspace.h"
#include "platform/Service.h"

#include "DesktopHarness.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

// Last: Xlib's macros would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

struct DesktopQuickActions : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<test::TestEnvironment> env;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<AtspiAccessibility> ax;
    std::unique_ptr<QtPasteboard> pasteboard;
    std::unique_ptr<QtScreens> screens;
    std::unique_ptr<ClipboardManager> clipboard;
    std::vector<std::shared_ptr<void>> scopes;
    Display* display = nullptr;
    int copyKeys = 0;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        env = std::make_unique<test::TestEnvironment>();
        workspace = std::make_unique<X11Workspace>();
        ax = std::make_unique<AtspiAccessibility>();
        pasteboard = std::make_unique<QtPasteboard>();
        screens = std::make_unique<QtScreens>();
        clipboard = std::make_unique<ClipboardManager>(pasteboard.get());
        ASSERT_TRUE(ax->isConnected());
        scopes.push_back(std::make_shared<ScopedService<Workspace>>(*workspace));
        scopes.push_back(std::make_shared<ScopedService<Accessibility>>(*ax));
        scopes.push_back(std::make_shared<ScopedService<Pasteboard>>(*pasteboard));
        scopes.push_back(std::make_shared<ScopedService<Screens>>(*screens));
        scopes.push_back(std::make_shared<ScopedService<ClipboardManager>>(*clipboard));
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (display) XCloseDisplay(display);
        while (!scopes.empty()) scopes.pop_back();
    }
    void press(QPointF at, bool down) {
        XTestFakeMotionEvent(display, -1, int(at.x()), int(at.y()), CurrentTime);
        XTestFakeButtonEvent(display, 1, down, CurrentTime);
        XFlush(display);
    }
    void doubleClick(QPointF at) {
        for (int i = 0; i < 2; ++i) press(at, true), press(at, false);
    }
    bool frontIsTarget() {
        return test::waitUntil([&] {
            const auto front = workspace->frontmostApplication();
            return front && front->pid == target.pid();
        });
    }
    std::optional<QuickActionSelection> read(QuickActionSelectionReader& reader, bool allowFallback) {
        std::optional<QuickActionSelection> got;
        reader.readSelection(screens->mouseLocation(), allowFallback, true,
                             [&](const std::optional<QuickActionSelection>& s) { got = s; });
        return got;
    }
};

TEST_F(DesktopQuickActions, ADoubleClickedWordIsReadThroughAccessibilityWithItsBounds) {
    ASSERT_TRUE(target.command("set line hello world"));
    ASSERT_TRUE(target.command("focus line"));
    ASSERT_TRUE(frontIsTarget());
    AXElementPtr line;
    ASSERT_TRUE(test::waitUntil([&] {
        line = ax->focusedElement();
        return line && ax->attribute(*line, AXNames::value).toString() == QStringLiteral("hello world");
    }));
    const std::optional<QRectF> word = ax->boundsForRange(*line, AXRange{0, 5});
    ASSERT_TRUE(word);
    doubleClick(word->center());
    QuickActionSelectionReader reader([&] { ++copyKeys; });
    std::optional<QuickActionSelection> s;
    ASSERT_TRUE(test::waitUntil([&] { return (s = read(reader, false)) && s->text == QStringLiteral("hello"); }))
        << (s ? s->text.toStdString() : "nothing");
    EXPECT_EQ(s->detectionPath, "ax-bounds");
    ASSERT_TRUE(s->selectionBounds);
    const double maxY = screens->screens().front().frame.height();
    EXPECT_NEAR(s->selectionBounds->center().x(), word->center().x(), 2);
    EXPECT_NEAR(s->selectionBounds->center().y(), maxY - word->center().y(), 2);
    EXPECT_TRUE(s->isEditable);
    EXPECT_EQ(s->targetPID, target.pid());
    EXPECT_EQ(copyKeys, 0);
}

TEST_F(DesktopQuickActions, ADragOverTextWithoutAccessibilityIsReadFromPrimary) {
    ASSERT_TRUE(target.command("clear"));
    ASSERT_TRUE(target.command("focus label"));
    ASSERT_TRUE(frontIsTarget());
    const QStringList c = target.state().value(QStringLiteral("canvas")).toString().split(QLatin1Char(','));
    ASSERT_EQ(c.size(), 4);
    const QPointF from(c[0].toDouble() + 2, c[1].toDouble() + c[3].toDouble() / 2);
    const QPointF to = from + QPointF(60, 0);
    QuickActionSelectionReader reader([&] { ++copyKeys; });
    reader.markGestureStart();
    const qint64 before = pasteboard->primaryChangeCount();
    press(from, true);
    press(to, false);
    ASSERT_TRUE(env->waitFor([&] { return pasteboard->primaryChangeCount() != before; }, 20000));
    reader.useGestureStartOf(1);
    const auto s = read(reader, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "canvas words");
    EXPECT_EQ(s->detectionPath, "clipboard-fallback");
    EXPECT_FALSE(s->selectionBounds);
    EXPECT_EQ(copyKeys, 0);
}

}  // namespace
