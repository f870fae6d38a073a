#include "base/ChildProcess.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace murmelo;

namespace {

std::unique_ptr<ChildProcess> sh(const QString& line, bool withInput = false) {
    ChildProcess::Options o;
    o.program = QStringLiteral("/bin/sh");
    o.arguments = {QStringLiteral("-c"), line};
    o.withInput = withInput;
    QString error;
    auto child = ChildProcess::start(o, &error);
    EXPECT_TRUE(child) << error.toStdString();
    return child;
}

QByteArray readToEnd(ChildProcess& child) {
    QByteArray out;
    while (child.waitForOutput(out, -1, 30.0) == ChildProcess::Wait::output) {
    }
    return out;
}

}  // namespace

// A child gone before we write is a failed write, not a SIGPIPE that ends the application.
TEST(ChildProcess, WritingToAChildThatHasGoneFails) {
    auto child = sh(QStringLiteral("exec 0<&-; echo gone"), true);
    EXPECT_EQ(readToEnd(*child), "gone\n");
    ASSERT_TRUE(child->finish(30.0));
    QString error;
    EXPECT_FALSE(child->write(QByteArray(1 << 20, 'x'), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(child->inputClosedByChild());
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

// Standard output is read to its end while standard error is drained: the last line printed
// just before the exit arrives even after a flood on the other pipe.
TEST(ChildProcess, OutputToItsEndWhileErrorsFlood) {
    auto child = sh(QStringLiteral("head -c 3000000 /dev/zero | tr '\\0' e >&2; printf last; exit 4"));
    EXPECT_EQ(readToEnd(*child), "last");
    EXPECT_TRUE(child->finish(30.0));
    ASSERT_TRUE(child->reapExited());
    EXPECT_EQ(WEXITSTATUS(*child->exitStatus()), 4);
    EXPECT_EQ(child->errors().size(), 1 << 20);  // kept up to the limit, the rest read and dropped
    EXPECT_TRUE(child->errorsCut());
}

TEST(ChildProcess, EndReachesTheWholeGroupAndAProgramThatIgnoresTerm) {
    auto child = sh(QStringLiteral("trap '' TERM; sleep 300 & echo $!; wait"));
    QByteArray out;
    while (!out.contains('\n')) ASSERT_EQ(child->waitForOutput(out, -1, 30.0), ChildProcess::Wait::output);
    const pid_t background = pid_t(out.trimmed().toLongLong());
    child->end(0.2);
    EXPECT_TRUE(child->exitStatus());
    // The background sleep was in the group (and ignores TERM as well): killed with it.
    const int fd = int(::syscall(SYS_pidfd_open, background, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 10000), 1);
        ::close(fd);
    }
}
