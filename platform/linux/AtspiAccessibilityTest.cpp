#include "linux/AtspiAccessibility.h"

#include "DesktopHarness.h"
#include "linux/FocusSearch.h"
#include "linux/XTestKeyPoster.h"

#undef signals
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

constexpr qint64 MARK = 0x54514D31;

struct DesktopAccessibility : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<AtspiAccessibility> ax;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        ax = std::make_unique<AtspiAccessibility>();
        ASSERT_TRUE(ax->isConnected());
        ASSERT_TRUE(target.command("clear"));
    }
    // Focuses a field of the target and waits until AT-SPI reports it as focused.
    AXElementPtr focus(const char* which, const QString& role) {
        AXElementPtr el;
        // Moving the focus away first makes the target announce the focus anew.
        target.command(QStringLiteral("focus ") + (QLatin1String(which) == QLatin1String("line") ? "text" : "line"));
        target.command(QStringLiteral("focus ") + QLatin1String(which));
        const bool found = test::waitUntil([&] {
            el = ax->focusedElement();
            return el && ax->attribute(*el, "AXRole").toString() == role;
        });
        return found ? el : nullptr;
    }
    QString value(const AXElementPtr& el) { return ax->attribute(*el, "AXValue").toString(); }
};

// The descriptors GLib's default context polls: what the main thread's event loop watches.
std::vector<int> polledByTheMainLoop() {
    GMainContext* main = g_main_context_default();
    std::vector<int> out;
    if (!g_main_context_acquire(main)) return out;
    gint priority = 0, timeout = 0;
    g_main_context_prepare(main, &priority);
    GPollFD fds[256];
    const gint n = std::min<gint>(g_main_context_query(main, priority, &timeout, fds, 256), 256);
    for (gint i = 0; i < n; ++i) out.push_back(fds[i].fd);
    g_main_context_check(main, priority, fds, n);
    g_main_context_dispatch(main);
    g_main_context_release(main);
    return out;
}

}  // namespace

// A Qt editor's tree as AT-SPI shows it: the current page tab (one level above the editor)
// and the editor's viewport report the focus too; the editor is the one that can take it.
TEST(FocusSearch, TheElementThatTakesTheFocusWinsOverOnesThatOnlyReportIt) {
    struct Node {
        const char* name;
        FocusClaim claim;
        std::vector<int> children;
    };
    using C = FocusClaim;
    std::vector<Node> tree{
        {"application", C::none, {1}},      {"frame", C::none, {2, 3}},   {"page tab list", C::none, {4}},
        {"layered pane", C::none, {5}},     {"page tab", C::borrowed, {}}, {"filler", C::none, {6}},
        {"text", C::own, {7}},              {"viewport", C::borrowed, {}},
    };
    const auto children = [&](int i) { return tree[i].children; };
    const auto claim = [&](int i) { return tree[i].claim; };
    const auto name = [&](std::optional<int> i) { return i ? std::string(tree[*i].name) : std::string("nothing"); };
    EXPECT_EQ(name(findFocused(std::vector<int>{0}, children, claim, 2000)), "text");
    tree[6].claim = C::none;
    EXPECT_EQ(name(findFocused(std::vector<int>{0}, children, claim, 2000)), "page tab") << "nothing better reports it";
    tree[6].claim = C::own;
    EXPECT_EQ(name(findFocused(std::vector<int>{0}, children, claim, 5)), "page tab") << "the bound holds";
}

TEST_F(DesktopAccessibility, TextTypedByXTestReadsBackExactly) {
    AXElementPtr el = focus("line", "AXTextField");
    ASSERT_TRUE(el);
    EXPECT_EQ(ax->pid(*el), target.pid());
    EXPECT_TRUE(ax->attribute(*el, "AXIsEditable").toBool());

    XTestKeyPoster poster;
    const QString text = QStringLiteral("Привет, мир! Hello");
    for (QChar c : text) {
        poster.post({0, true, 0, QString(c), MARK});
        poster.post({0, false, 0, QString(c), MARK});
    }
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == text; })) << target.line().toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return value(el) == text; })) << value(el).toStdString();
    EXPECT_EQ(ax->attribute(*el, "AXSelectedTextRange").value<AXRange>(), (AXRange{text.size(), 0}));
}

TEST_F(DesktopAccessibility, RangesAreUtf16AcrossCharactersOutsideTheBasicPlane) {
    AXElementPtr el = focus("text", "AXTextArea");
    ASSERT_TRUE(el);
    ASSERT_EQ(ax->setAttribute(*el, "AXValue", QStringLiteral("a😀b end")), AXError::success);
    ASSERT_TRUE(test::waitUntil([&] { return target.text() == QStringLiteral("a😀b end"); }));

    // "b" sits at UTF-16 unit 3 (the emoji takes two), character 2.
    ASSERT_EQ(ax->setAttribute(*el, "AXSelectedTextRange", QVariant::fromValue(AXRange{3, 1})), AXError::success);
    EXPECT_TRUE(test::waitUntil([&] { return ax->attribute(*el, "AXSelectedText").toString() == "b"; }));
    EXPECT_EQ(ax->attribute(*el, "AXSelectedTextRange").value<AXRange>(), (AXRange{3, 1}));

    ASSERT_EQ(ax->setAttribute(*el, "AXSelectedText", QStringLiteral("Ж🎉")), AXError::success);
    EXPECT_TRUE(test::waitUntil([&] { return target.text() == QStringLiteral("a😀Ж🎉 end"); }))
        << target.text().toStdString();
    EXPECT_EQ(ax->attribute(*el, "AXSelectedTextRange").value<AXRange>(), (AXRange{6, 0}));

    EXPECT_EQ(ax->setAttribute(*el, "AXSelectedTextRange", QVariant::fromValue(AXRange{5, 10})), AXError::illegalArgument);
    AXError error = AXError::success;
    ax->attribute(*el, "AXNoSuchThing", &error);
    EXPECT_EQ(error, AXError::attributeUnsupported);
}

TEST_F(DesktopAccessibility, TheTargetApplicationIsFoundByItsProcess) {
    AXElementPtr app = ax->applicationElement(target.pid());
    ASSERT_TRUE(app);
    EXPECT_EQ(ax->attribute(*app, "AXRole").toString(), "AXApplication");
    EXPECT_FALSE(ax->applicationElement(999999));
}

TEST_F(DesktopAccessibility, NoAccessibilityConnectionIsRunByTheMainThreadsLoop) {
    // libatspi is not safe from two threads: had the main loop a say in its connections,
    // their handlers would run on the main thread beside the AT-SPI thread's calls.
    AXElementPtr el = focus("line", "AXTextField");
    ASSERT_TRUE(el);
    const std::vector<int> sockets = ax->connectionSockets();
    ASSERT_FALSE(sockets.empty());
    const std::vector<int> polled = polledByTheMainLoop();
    for (int fd : sockets) EXPECT_EQ(std::count(polled.begin(), polled.end(), fd), 0) << "socket " << fd;

    // A second backend shares the one connection; the first one going away leaves it working.
    ax.reset();
    AtspiAccessibility again;
    ASSERT_TRUE(again.isConnected());
    EXPECT_TRUE(again.isProcessTrusted());
    AXElementPtr still = again.focusedElement();
    ASSERT_TRUE(still);
    EXPECT_EQ(again.pid(*still), target.pid());
}
