#include "linux/X11Workspace.h"

#include "DesktopHarness.h"

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

struct DesktopWorkspace : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<X11Workspace> workspace;
    Display* wm = nullptr;  // plays the window manager's part where a test needs one

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        workspace = std::make_unique<X11Workspace>();
        ASSERT_TRUE(workspace->isConnected());
        wm = XOpenDisplay(nullptr);
        ASSERT_NE(wm, nullptr);
    }
    void TearDown() override {
        if (wm) {
            XDeleteProperty(wm, DefaultRootWindow(wm), XInternAtom(wm, "_NET_ACTIVE_WINDOW", False));
            XCloseDisplay(wm);
        }
    }
    void setActive(unsigned long w) {
        Window win = w;
        XChangeProperty(wm, DefaultRootWindow(wm), XInternAtom(wm, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&win), 1);
        XFlush(wm);
    }
};

}  // namespace

TEST_F(DesktopWorkspace, FocusedTargetIsTheFrontApplication) {
    ASSERT_TRUE(target.command("focus line"));
    std::optional<AppIdentity> front;
    ASSERT_TRUE(test::waitUntil([&] {
        front = workspace->frontmostApplication();
        return front && front->pid == target.pid();
    }));
    EXPECT_EQ(front->bundleIdentifier, "murmelo_test_target");
    EXPECT_EQ(front->localizedName, "murmelo_test_target");
    EXPECT_TRUE(workspace->isRunning(*front));
    EXPECT_FALSE(workspace->isRunning({"gone", "gone", 0}));
}

TEST_F(DesktopWorkspace, WindowManagersActiveWindowDecidesAndIsFollowed) {
    QWidget own;
    own.setWindowTitle(QStringLiteral("own"));
    own.show();
    ASSERT_TRUE(test::waitUntil([&] { return own.windowHandle() && own.windowHandle()->isExposed(); }));

    std::vector<AppIdentity> activations;
    setActive(target.windowId());
    ASSERT_TRUE(test::waitUntil([&] {
        auto f = workspace->frontmostApplication();
        return f && f->pid == target.pid();
    }));
    workspace->setActivationHandler([&](const AppIdentity& a) { activations.push_back(a); });

    setActive(own.winId());
    ASSERT_TRUE(test::waitUntil([&] { return !activations.empty(); }));
    EXPECT_EQ(activations.back().pid, QCoreApplication::applicationPid());
    EXPECT_EQ(activations.back().bundleIdentifier, QCoreApplication::applicationName().toLower());

    // An active window that names no application gives no front application.
    setActive(0);
    ASSERT_TRUE(test::waitUntil([&] { return !workspace->frontmostApplication(); }));
}
