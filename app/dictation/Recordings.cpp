#include "dictation/Recordings.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::Recordings {
namespace {

// Copies into a file that this call creates (never one that is there already), with the
// source's modification time; the source goes only once the copy is whole.
bool copyExclusively(const QByteArray& from, const QByteArray& to) {
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    if (ok) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
        ok = ::fsync(out) == 0;
    }
    ok = ::close(out) == 0 && ok;
    ::close(in);
    if (!ok) {
        ::unlink(to.constData());
        return false;
    }
    ::unlink(from.constData());
    return true;
}

// Moves without ever replacing what is at the target: two recordings kept within one
// millisecond must not cost the first one.
bool moveNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EXDEV) return copyExclusively(from, to);
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without the flag: a hard link fails on an existing name too.
        if (::link(from.constData(), to.constData()) != 0) return errno == EXDEV && copyExclusively(from, to);
        ::unlink(from.constData());
        return true;
    }
    return false;
}

}  // namespace

QString dir() { return Folders::join(Log::dir(), QStringLiteral("recordings")); }

bool keepEnabled() { return Defaults::shared().boolValue(KEY); }

std::optional<QString> keep(const QString& recording) {
    if (!QFileInfo::exists(recording)) return std::nullopt;
    const QString folder = dir();
    if (QDir().mkpath(folder)) ::chmod(QFile::encodeName(folder).constData(), 0700);
    const QString target = Folders::join(folder, QStringLiteral("rec-") +
                                                     QString::number(Clock::shared().now().toMSecsSinceEpoch()) +
                                                     QStringLiteral(".wav"));
    const QByteArray to = QFile::encodeName(target);
    if (!moveNoReplace(QFile::encodeName(recording), to)) return std::nullopt;
    ::chmod(to.constData(), 0600);
    return target;
}

Summary summary() {
    Summary s;
    QDir d(dir());
    if (!d.exists()) return s;
    for (const QFileInfo& info : d.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (!info.fileName().endsWith(QStringLiteral(".wav"))) continue;
        ++s.count;
        s.bytes += info.size();
    }
    return s;
}

}  // namespace murmelo::Recordings
