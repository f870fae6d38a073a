#include "linux/LinuxInstanceRegistry.h"

#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace murmelo::linuxdesktop {
namespace {

qint64 readPid(int fd) {
    char buf[32] = {};
    ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0) return 0;
    bool ok = false;
    qint64 pid = QByteArray(buf, int(n)).trimmed().toLongLong(&ok);
    return ok ? pid : 0;
}

bool isAlive(qint64 pid) { return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }

}  // namespace

QString LinuxInstanceRegistry::lockPath(const QString& bundleIdentifier) {
    return Folders::join(Folders::runtime(), bundleIdentifier + QStringLiteral(".lock"));
}

InstanceRegistry::Claim LinuxInstanceRegistry::claim(const QString& bundleIdentifier) {
    if (fd_ >= 0) return {};
    const QString path = lockPath(bundleIdentifier);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Close-on-exec: a child server that outlived us must not keep the lock alive.
    int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return {};  // no lock possible: better a second copy than no copy at all

    // The holder writes its process id right after it locks; a loser that reads the file
    // in between sees nothing yet (or a dead holder's id) and looks again. A holder that
    // dies in that moment releases the lock, and the next attempt wins it.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
            if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
            fd_ = fd;
            return {};
        }
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        const qint64 other = readPid(fd);
        if (other != qint64(::getpid()) && isAlive(other)) {
            ::close(fd);
            return {false, other};
        }
        ::usleep(5000);
    }
    ::close(fd);
    return {false, 0};
}

}  // namespace murmelo::linuxdesktop
