#include "linux/LinuxInstanceRegistry.h"

#include "TestEnvironment.h"

#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace murmelo;
using linuxdesktop::LinuxInstanceRegistry;

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class LinuxInstanceRegistryTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
};

TEST_F(LinuxInstanceRegistryTest, TheFirstClaimHoldsTheLockAndNamesItself) {
    LinuxInstanceRegistry registry;
    EXPECT_TRUE(registry.claim("com.local.murmelo").isOnlyCopy);
    EXPECT_EQ(contents(LinuxInstanceRegistry::lockPath("com.local.murmelo")),
              QByteArray::number(qint64(::getpid())) + '\n');
}

TEST_F(LinuxInstanceRegistryTest, ALockFileLeftByADeadCopyDoesNotBlock) {
    const QString path = LinuxInstanceRegistry::lockPath("com.local.murmelo");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("999999\n");
    }
    LinuxInstanceRegistry registry;
    EXPECT_TRUE(registry.claim("com.local.murmelo").isOnlyCopy);
}

TEST_F(LinuxInstanceRegistryTest, ALiveHolderIsNamedAndOtherIdentifiersAreFree) {
    const QByteArray path = QFile::encodeName(LinuxInstanceRegistry::lockPath("com.local.murmelo"));
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another copy: locks, names itself, and holds on until told to go.
        ::close(release[1]);
        ::close(ready[0]);
        int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::_exit(1);
        const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
        (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
        (void)!::write(ready[1], "x", 1);
        char c;
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    LinuxInstanceRegistry registry;
    const auto claim = registry.claim("com.local.murmelo");
    EXPECT_FALSE(claim.isOnlyCopy);
    EXPECT_EQ(claim.otherPid, qint64(child));
    LinuxInstanceRegistry other;
    EXPECT_TRUE(other.claim("com.local.murmelo.dev").isOnlyCopy);

    // Once the holder is gone the next claim wins.
    ::close(release[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(registry.claim("com.local.murmelo").isOnlyCopy);
    ::close(ready[0]);
}

}  // namespace
