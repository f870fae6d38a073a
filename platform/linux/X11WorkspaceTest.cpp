#include "linux/X11Workspace.h"

#include "DesktopHarness.h"

#include <QCoreApplication>
#include <QProcess>
#include <QWidget>
#include <QWindow>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(DesktopWorkspace, ProcessIdsAreLookedUpInTheWindowListAndProc) {
    // The target's window carries its pid.
    const auto app = workspace->runningApplication(target.pid());
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->bundleIdentifier, "murmelo_test_target");
    EXPECT_EQ(app->pid, target.pid());
    EXPECT_EQ(app->localizedName, "murmelo_test_target");

    // A process with no window: known by its command name, with no application id.
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    const auto bare = workspace->runningApplication(sleeper.processId());
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(*bare, (AppIdentity{QString(), QStringLiteral("sleep"), sleeper.processId()}));
    sleeper.kill();
    ASSERT_TRUE(sleeper.waitForFinished());
    EXPECT_FALSE(workspace->runningApplication(sleeper.processId()).has_value()) << "a process that is gone";
    EXPECT_FALSE(workspace->runningApplication(0).has_value());

    // With a window manager's client list, only the listed windows count.
    Window listed = target.windowId();
    XChangeProperty(wm, DefaultRootWindow(wm), XInternAtom(wm, "_NET_CLIENT_LIST", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&listed), 1);
    XSync(wm, False);
    EXPECT_EQ(workspace->clientWindows(), std::vector<unsigned long>{target.windowId()});
    EXPECT_EQ(workspace->runningApplication(target.pid()), app);
    EXPECT_EQ(workspace->runningApplications(), std::vector<AppIdentity>{*app});
    XDeleteProperty(wm, DefaultRootWindow(wm), XInternAtom(wm, "_NET_CLIENT_LIST", False));
    XSync(wm, False);
}

TEST_F(DesktopWorkspace, AWindowThatVanishedIsNoApplicationAndIsReported) {
    const Window gone = XCreateSimpleWindow(wm, DefaultRootWindow(wm), 0, 0, 10, 10, 0, 0, 0);
    XSync(wm, False);
    XDestroyWindow(wm, gone);
    XSync(wm, False);
    test::LoggedWarnings warnings;
    EXPECT_FALSE(workspace->identityOf(gone).has_value());
    EXPECT_TRUE(warnings.contains("went away")) << warnings.lines().join('\n').toStdString();
    // The connection is still good for the next question.
    EXPECT_TRUE(workspace->runningApplication(target.pid()).has_value());
}

namespace murmelo::linuxdesktop {
namespace {

TEST_F(DesktopWorkspace, WindowFramesComeTopmostFirstFromTheStackingListWithTheirDecorations) {
    QWidget lower, upper;
    lower.setGeometry(40, 50, 300, 200);
    upper.setGeometry(100, 120, 400, 250);
    lower.show();
    upper.show();
    ASSERT_TRUE(test::waitUntil([&] {
        return lower.windowHandle()->isExposed() && upper.windowHandle()->isExposed();
    }));
    // The stacking list as a window manager keeps it, bottom to top, and a frame around upper.
    Window stack[2] = {Window(lower.winId()), Window(upper.winId())};
    const Atom stacking = XInternAtom(wm, "_NET_CLIENT_LIST_STACKING", False);
    XChangeProperty(wm, DefaultRootWindow(wm), stacking, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(stack), 2);
    long extents[4] = {2, 3, 20, 4};
    XChangeProperty(wm, Window(upper.winId()), XInternAtom(wm, "_NET_FRAME_EXTENTS", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(extents), 4);
    XSync(wm, False);
    const std::vector<QRectF> expected{QRectF(98, 100, 405, 274), QRectF(40, 50, 300, 200)};
    EXPECT_EQ(workspace->onScreenWindowFrames(), expected);

    // A window that is no longer viewable drops out.
    upper.hide();
    ASSERT_TRUE(test::waitUntil([&] { return workspace->onScreenWindowFrames().size() == 1; }));
    EXPECT_EQ(workspace->onScreenWindowFrames().front(), QRectF(40, 50, 300, 200));
    XDeleteProperty(wm, DefaultRootWindow(wm), stacking);
    XSync(wm, False);
}

}  // namespace
}  // namespace murmelo::linuxdesktop

// An application that quit but whose parent has not reaped it yet is no longer running.
TEST(X11WorkspaceProcess, AZombieIsNotAlive) {
    EXPECT_TRUE(X11Workspace::processIsAlive(::getpid()));
    EXPECT_FALSE(X11Workspace::processIsAlive(0));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    siginfo_t info{};
    // Waits for the end but leaves the child unreaped: a zombie.
    ASSERT_EQ(::waitid(P_PID, id_t(child), &info, WEXITED | WNOWAIT), 0);
    EXPECT_FALSE(X11Workspace::processIsAlive(child));
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(X11Workspace::processIsAlive(child));
}
