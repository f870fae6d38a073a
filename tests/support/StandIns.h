#pragma once
// Starting the stand-in programs of build/bin from tests, and waiting for them without
// sleeping: on their output pipe and on process descriptors, each with a bounded timeout.
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace murmelo::test {

inline QString toolPath(const QString& name) { return QCoreApplication::applicationDirPath() + '/' + name; }

struct StandIn {
    pid_t pid = -1;
    int out = -1;  // read end of its standard output
    std::string buffered;

    StandIn() = default;
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    StandIn(StandIn&& o) noexcept : pid(o.pid), out(o.out), buffered(std::move(o.buffered)) { o.pid = -1, o.out = -1; }
    ~StandIn() {
        if (out >= 0) ::close(out);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // One line of output, without its line feed; empty on timeout or end of output.
    std::string readLine(int timeoutMs = 10000) {
        for (;;) {
            if (auto nl = buffered.find('\n'); nl != std::string::npos) {
                std::string line = buffered.substr(0, nl);
                buffered.erase(0, nl + 1);
                return line;
            }
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) return {};
            char buf[512];
            const ssize_t n = ::read(out, buf, sizeof buf);
            if (n <= 0) return {};
            buffered.append(buf, size_t(n));
        }
    }

    // Waits for the program to end; its exit status as waitpid gives it, or -1.
    int wait(int timeoutMs = 10000) {
        if (pid <= 0) return -1;
        const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, timeoutMs);
            ::close(fd);
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) != pid) return -1;
        pid = -1;
        return status;
    }
};

// Starts a program with its standard output on a pipe, optionally with extra environment.
inline StandIn spawnStandIn(const QStringList& args, const QStringList& extraEnv = {}) {
    StandIn s;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return s;
    std::vector<std::string> argStore, envStore;
    for (const QString& a : args) argStore.push_back(a.toStdString());
    // The extra environment wins: an inherited variable of the same name is left out, since
    // a program reads the first of two.
    std::vector<std::string> extraNames;
    for (const QString& e : extraEnv) extraNames.push_back(e.section('=', 0, 0).toStdString() + '=');
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& name : extraNames) replaced = replaced || entry.rfind(name, 0) == 0;
        if (!replaced) envStore.push_back(entry);
    }
    for (const QString& e : extraEnv) envStore.push_back(e.toStdString());
    std::vector<char*> argv, envp;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return s;
    }
    s.pid = pid;
    s.out = fds[0];
    return s;
}

// The cloud Responses stand-in on a port of its own choosing, recording into `record`;
// optionally with a script and https (certificate and key files).
struct ResponsesStandIn {
    StandIn process;
    quint16 port = 0;
    QString record;

    bool running() const { return port != 0; }
    QString base(const QString& scheme = QStringLiteral("http")) const {
        return scheme + QStringLiteral("://127.0.0.1:") + QString::number(port);
    }
    // Every request so far, oldest first.
    QList<QJsonObject> requests() const {
        QList<QJsonObject> out;
        QFile f(record);
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty()) out << QJsonDocument::fromJson(line).object();
        return out;
    }
};

inline ResponsesStandIn startResponsesStandIn(const QString& record, const QString& script = {},
                                              const QString& cert = {}, const QString& key = {}) {
    QStringList args{toolPath(QStringLiteral("murmelo-responses-stand-in")), QStringLiteral("--port"),
                     QStringLiteral("0"), QStringLiteral("--record"), record};
    if (!script.isEmpty()) args << QStringLiteral("--script") << script;
    if (!cert.isEmpty()) args << QStringLiteral("--tls") << cert << key;
    ResponsesStandIn s{spawnStandIn(args), 0, record};
    const std::string line = s.process.readLine();
    const auto colon = line.rfind(':');
    if (colon != std::string::npos) s.port = quint16(std::atoi(line.c_str() + colon + 1));
    return s;
}

// Waits until a process that is not our child has ended (or timeout); true when it ended.
inline bool waitGone(pid_t pid, int timeoutMs = 10000) {
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return errno == ESRCH;
    pollfd p{fd, POLLIN, 0};
    const bool ended = ::poll(&p, 1, timeoutMs) > 0;
    ::close(fd);
    return ended;
}

// True while the process runs (an unreaped zombie counts as ended).
inline bool isAlive(pid_t pid) {
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    const bool ended = ::poll(&p, 1, 0) > 0;
    ::close(fd);
    return !ended;
}

}  // namespace murmelo::test
