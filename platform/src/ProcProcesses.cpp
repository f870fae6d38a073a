#include "ProcProcesses.h"

#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <limits>
#include <vector>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace murmelo {
namespace {

QByteArray readProcFile(const QString& path) {
    // /proc files report a size of 0: read until the end.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return {};
    QByteArray all;
    for (;;) {
        QByteArray chunk = f.read(65536);
        if (chunk.isEmpty()) break;
        all += chunk;
    }
    return all;
}

// The same relative to a process's folder held open, without Qt's file object: the table
// reads two files for each of some hundreds of processes.
QByteArray readProcFileAt(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    QByteArray all;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        all.append(chunk, n);
    }
    ::close(fd);
    return all;
}

struct Stat {
    qint32 ppid = 0;
    qint64 rssPages = 0;
    quint64 startTime = 0;
};

// The fields after the command name, which may itself hold spaces and parentheses.
std::optional<Stat> parseStat(const QByteArray& text) {
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0) return std::nullopt;
    const QList<QByteArray> f = text.mid(close + 2).split(' ');
    // f[0] is the state (field 3); ppid is field 4, starttime 22, rss 24.
    if (f.size() < 22) return std::nullopt;
    bool ok1 = false, ok2 = false, ok3 = false;
    Stat s;
    s.ppid = f[1].toInt(&ok1);
    s.startTime = f[19].toULongLong(&ok2);
    s.rssPages = f[21].toLongLong(&ok3);
    if (!ok1 || !ok2 || !ok3) return std::nullopt;
    return s;
}

std::optional<quint64> startTimeOf(qint32 pid) {
    auto s = parseStat(readProcFile(QStringLiteral("/proc/%1/stat").arg(pid)));
    if (!s) return std::nullopt;
    return s->startTime;
}

int openPidfd(qint32 pid) {
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

bool pidfdKill(int fd) {
#ifdef SYS_pidfd_send_signal
    return ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0) == 0;
#else
    (void)fd;
    return false;
#endif
}

}  // namespace

std::optional<ProcessRow> ProcProcesses::read(qint32 pid) {
    char dir[32];
    std::snprintf(dir, sizeof dir, "/proc/%d", int(pid));
    const int dirFd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return std::nullopt;
    const std::optional<ProcessRow> row = readIn(dirFd, pid);
    ::close(dirFd);
    return row;
}

// The files are read relative to the process's folder, held open: a process table of a
// few hundred rows costs a handful of system calls per row, and a process that ends
// meanwhile leaves a folder whose files can no longer be read.
std::optional<ProcessRow> ProcProcesses::readIn(int dirFd, qint32 pid) {
    struct stat st {};
    if (::fstat(dirFd, &st) != 0) return std::nullopt;
    auto s = parseStat(readProcFileAt(dirFd, "stat"));
    if (!s) return std::nullopt;
    ProcessRow row;
    row.pid = pid;
    row.ppid = s->ppid;
    static const qint64 pageKB = std::max<long>(1, ::sysconf(_SC_PAGESIZE) / 1024);
    row.rssKB = s->rssPages * pageKB;
    row.startTime = s->startTime;
    row.uid = st.st_uid;
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(dirFd, "exe", target, sizeof target);
    if (n > 0 && size_t(n) < sizeof target) {
        QString exe = QFile::decodeName(QByteArray(target, n));
        if (exe.endsWith(QStringLiteral(" (deleted)"))) exe.chop(10);
        row.executable = exe;
    }
    QByteArray cmdline = readProcFileAt(dirFd, "cmdline");
    if (cmdline.endsWith('\0')) cmdline.chop(1);
    if (!cmdline.isEmpty())
        for (const QByteArray& a : cmdline.split('\0')) row.arguments << QString::fromUtf8(a);
    row.command = row.arguments.join(' ');
    return row;
}

std::optional<QList<ProcessRow>> ProcProcesses::table() const {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    std::vector<qint32> pids;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) continue;
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end == '\0' && pid > 0 && pid <= std::numeric_limits<qint32>::max()) pids.push_back(qint32(pid));
    }
    std::sort(pids.begin(), pids.end());
    QList<ProcessRow> rows;
    rows.reserve(qsizetype(pids.size()));
    for (qint32 pid : pids) {
        char name[16];
        std::snprintf(name, sizeof name, "%d", int(pid));
        const int dirFd = ::openat(::dirfd(proc), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) continue;  // a process that ended meanwhile is skipped
        if (auto row = readIn(dirFd, pid)) rows << *row;
        ::close(dirFd);
    }
    ::closedir(proc);
    return rows;
}

bool ProcProcesses::kill(const ProcessRow& row) {
    if (row.pid <= 1) return false;
    const int fd = openPidfd(row.pid);
    if (fd < 0 && errno != ENOSYS) return false;
    // With the descriptor held, the id cannot move to another process: check it still
    // names the process of the row.
    bool sent = false;
    if (startTimeOf(row.pid) == row.startTime)
        sent = fd >= 0 ? pidfdKill(fd) : ::kill(row.pid, SIGKILL) == 0;
    if (fd >= 0) ::close(fd);
    return sent;
}

std::optional<QString> ProcProcesses::environmentValue(const ProcessRow& row, const QString& name) const {
    const QByteArray env = readProcFile(QStringLiteral("/proc/%1/environ").arg(row.pid));
    if (startTimeOf(row.pid) != row.startTime) return std::nullopt;
    const QByteArray prefix = name.toUtf8() + '=';
    for (const QByteArray& entry : env.split('\0'))
        if (entry.startsWith(prefix)) return QString::fromUtf8(entry.mid(prefix.size()));
    return std::nullopt;
}

QList<qint32> ProcProcesses::tcpListeners(quint16 port) const {
    QSet<QByteArray> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const QList<QByteArray> lines = readProcFile(QString::fromLatin1(table)).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].simplified().split(' ');
            // sl local rem st tx:rx tr:when retrnsmt uid timeout inode
            if (f.size() < 10 || f[3] != "0A") continue;  // 0A: listening
            const qsizetype colon = f[1].lastIndexOf(':');
            bool ok = false;
            if (colon < 0 || f[1].mid(colon + 1).toUInt(&ok, 16) != port || !ok) continue;
            inodes.insert("socket:[" + f[9] + "]");
        }
    }
    QList<qint32> pids;
    if (inodes.isEmpty()) return pids;
    QDir proc(QStringLiteral("/proc"));
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint32 pid = name.toInt(&ok);
        if (!ok || pid <= 0) continue;
        QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& fd : entries) {
            char target[64];
            const QByteArray link = QFile::encodeName(fds.filePath(fd));
            const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
            if (n <= 0) continue;
            if (inodes.contains(QByteArray(target, n))) {
                pids << pid;
                break;
            }
        }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

qint32 ProcProcesses::selfPid() const { return qint32(::getpid()); }
quint32 ProcProcesses::selfUid() const { return quint32(::geteuid()); }

namespace {
thread_local SharedProcessTable* t_sharedTable = nullptr;

Processes& installedOrReal() {
    if (auto* p = installedService<Processes>()) return *p;
    static ProcProcesses real;
    return real;
}
}  // namespace

Processes& Processes::shared() {
    if (t_sharedTable) return *t_sharedTable;
    return installedOrReal();
}

SharedProcessTable::SharedProcessTable() : inner_(Processes::shared()), previous_(t_sharedTable) {
    t_sharedTable = this;
}

SharedProcessTable::~SharedProcessTable() { t_sharedTable = previous_; }

std::optional<QList<ProcessRow>> SharedProcessTable::table() const {
    // An unreadable table is asked again: the next reader may have better luck.
    if (!reading_) reading_ = inner_.table();
    return reading_;
}

bool SharedProcessTable::kill(const ProcessRow& row) {
    if (!inner_.kill(row)) return false;
    // Until its parent reaps it, /proc would still show it: the reading forgets it at once.
    if (reading_) reading_->removeIf([&](const ProcessRow& r) { return r.pid == row.pid && r.startTime == row.startTime; });
    return true;
}

void Processes::install(Processes* processes) { installService<Processes>(processes); }

}  // namespace murmelo
