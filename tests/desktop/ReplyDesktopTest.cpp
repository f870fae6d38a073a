// The application a screen reply goes to, and what its focused field is, read from the test
// desktop's window system and accessibility bus.
#include "dictation/DictationNeighbours.h"
#include "linux/AtspiAccessibility.h"
#include "linux/X11Workspace.h"
#include "platform/Service.h"
#include "reply/FocusedFieldProbe.h"

#include "DesktopHarness.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

struct DesktopReply : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<AtspiAccessibility> ax;
    std::unique_ptr<ScopedService<Workspace>> workspaceScope;
    std::unique_ptr<ScopedService<Accessibility>> axScope;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        workspace = std::make_unique<X11Workspace>();
        ax = std::make_unique<AtspiAccessibility>();
        ASSERT_TRUE(workspace->isConnected());
        ASSERT_TRUE(ax->isConnected());
        workspaceScope = std::make_unique<ScopedService<Workspace>>(*workspace);
        axScope = std::make_unique<ScopedService<Accessibility>>(*ax);
    }
    void TearDown() override {
        axScope.reset();
        workspaceScope.reset();
    }
    bool frontIs(qint64 pid) {
        return test::waitUntil([&] {
            const auto front = workspace->frontmostApplication();
            return front && front->pid == pid;
        });
    }
};

TEST_F(DesktopReply, TheFrontTargetWindowIsTheReplyTarget) {
    ASSERT_TRUE(target.command("focus line"));
    ASSERT_TRUE(frontIs(target.pid()));
    const auto t = ReplyTarget::current();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->pid, target.pid());
    EXPECT_EQ(t->bundleID, workspace->frontmostApplication()->bundleIdentifier);
    EXPECT_EQ(t->bundleID, "murmelo_test_target");
    EXPECT_TRUE(t->isAlive());
}

// Each field of the target as the probe sees it, once the bus has announced the new focus.
TEST_F(DesktopReply, TheProbeTellsAnEditableFieldAPasswordAndALabel) {
    const qint32 pid = qint32(target.pid());
    struct Row {
        const char* field;
        FocusedFieldSnapshot expected;
    } rows[] = {
        {"line", {pid, true, false}},
        {"password", {pid, true, true}},
        {"label", {pid, false, false}},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(target.command(QStringLiteral("focus ") + r.field));
        FocusedFieldSnapshot seen;
        const bool held = test::waitUntil([&] { return (seen = FocusedFieldProbe::snapshot(pid)) == r.expected; });
        EXPECT_TRUE(held) << r.field << ": front " << seen.frontmostPID.value_or(0) << ", editable "
                          << seen.isEditableTextField << ", secure " << seen.isSecure;
    }
    ASSERT_TRUE(target.command("focus line"));
}

TEST_F(DesktopReply, ATargetThatQuitIsNoLongerAlive) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath("in"), state = dir.filePath("state");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    // A second target window of its own, so that the shared one stays for the other tests.
    QProcess second;
    second.start(QCoreApplication::applicationDirPath() + "/murmelo_test_target", {fifo, state});
    ASSERT_TRUE(second.waitForStarted(10000));
    QFile in(fifo);
    ASSERT_TRUE(in.open(QIODevice::WriteOnly | QIODevice::Unbuffered));  // waits for the target to listen
    in.write("focus line\n");
    ASSERT_TRUE(frontIs(second.processId()));
    const auto t = ReplyTarget::current();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->pid, second.processId());
    EXPECT_TRUE(t->isAlive());

    in.write("quit\n");
    in.close();
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_FALSE(t->isAlive());
    ASSERT_TRUE(target.command("focus line"));
}

}  // namespace
