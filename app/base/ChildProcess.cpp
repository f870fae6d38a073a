#include "base/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace murmelo {

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Milliseconds for poll: -1 without a bound, at least 0 otherwise.
int pollTimeout(std::optional<double> deadline) {
    if (!deadline) return -1;
    const double left = *deadline - now();
    if (left <= 0) return 0;
    return int(std::min(left * 1000.0 + 1.0, 2.0e9));
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const Options& options, QString* error) {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* p : {in, out, err})
            for (int i = 0; i < 2; ++i)
                if (p[i] >= 0) ::close(p[i]);
    };
    if ((options.withInput && ::pipe2(in, O_CLOEXEC) != 0) || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        if (error) *error = reason(errno);
        closeAll();
        return nullptr;
    }

    std::vector<std::string> argStore{options.program.toStdString()};
    for (const QString& a : options.arguments) argStore.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    std::vector<char*> envp;
    if (options.environment) {
        for (const QString& e : *options.environment) envStore.push_back(e.toStdString());
        for (std::string& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.withInput) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own, so that ending it ends whatever the program started too.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, argStore[0].c_str(), &actions, &attr, argv.data(), options.environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0) {
        if (error) *error = reason(spawned);
        closeAll();
        return nullptr;
    }

    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->pid_ = pid;
    child->pidFd_ = int(::syscall(SYS_pidfd_open, pid, 0));
    child->errorLimit_ = options.errorLimit;
    if (options.withInput) {
        ::close(in[0]);
        child->input_ = in[1];
    }
    ::close(out[1]);
    ::close(err[1]);
    child->output_ = out[0];
    child->error_ = err[0];
    return child;
}

ChildProcess::~ChildProcess() {
    closeInput();
    end(0);
    closeFd(output_);
    closeFd(error_);
    closeFd(pidFd_);
}

void ChildProcess::closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void ChildProcess::closeInput() { closeFd(input_); }

bool ChildProcess::write(const QByteArray& bytes, QString* error) {
    if (input_ < 0) {
        if (error) *error = reason(EBADF);
        return false;
    }
    // SIGPIPE is held back on this thread for the write; one raised by it is taken off again,
    // so a child that has gone is only a failed write.
    sigset_t pipeSet, previous, pending;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &previous);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE);
    qsizetype done = 0;
    int failure = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(input_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            failure = n < 0 ? errno : EIO;
            break;
        }
    }
    if (failure == EPIPE) inputClosed_ = true;
    if (failure == EPIPE && !alreadyPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (failure == 0) return true;
    if (error) *error = reason(failure);
    return false;
}

void ChildProcess::readErrors() {
    char buffer[65536];
    const ssize_t n = ::read(error_, buffer, sizeof buffer);
    if (n > 0) {
        const qsizetype room = std::max<qsizetype>(0, errorLimit_ - errors_.size());
        if (n > room) errorsCut_ = true;
        errors_.append(buffer, std::min<qsizetype>(n, room));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        closeFd(error_);
    }
}

ChildProcess::Wait ChildProcess::waitForOutput(QByteArray& into, int wakeFd, std::optional<double> seconds) {
    const std::optional<double> deadline = seconds ? std::optional<double>(now() + *seconds) : std::nullopt;
    for (;;) {
        if (output_ < 0) return Wait::ended;
        pollfd fds[3] = {{output_, POLLIN, 0}, {error_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 3, pollTimeout(deadline));
        if (ready < 0) {
            if (errno == EINTR) continue;
            closeFd(output_);
            return Wait::ended;
        }
        if (ready == 0) return Wait::timedOut;
        if (fds[2].revents) return Wait::woken;
        if (fds[1].revents) readErrors();
        if (fds[0].revents) {
            char buffer[65536];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n > 0) {
                into.append(buffer, n);
                return Wait::output;
            }
            if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                closeFd(output_);
                return Wait::ended;
            }
        }
    }
}

bool ChildProcess::finish(double seconds) {
    const double deadline = now() + seconds;
    for (;;) {
        const bool exited = hasExited();
        if (exited && error_ < 0) return true;
        if (now() >= deadline) return exited;
        // Without a process descriptor the exit is looked for again at short steps.
        const int waitFd = exited ? -1 : pidFd_;
        pollfd fds[2] = {{error_, POLLIN, 0}, {waitFd, POLLIN, 0}};
        int timeout = pollTimeout(deadline);
        if (!exited && pidFd_ < 0) timeout = std::min(timeout, 20);
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) return hasExited();
        if (ready > 0 && fds[0].revents) readErrors();
    }
}

bool ChildProcess::hasExited() {
    if (status_) return true;
    if (pid_ <= 0) return true;
    if (pidFd_ >= 0) {
        pollfd p{pidFd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
    return info.si_pid == pid_;
}

std::optional<int> ChildProcess::reapExited() {
    if (hasExited()) reap(true);
    return status_;
}

bool ChildProcess::reap(bool block) {
    if (status_) return true;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (r == pid_) {
            status_ = status;
            return true;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) status_ = -1;  // not ours to wait for any more
        return r < 0;
    }
}

void ChildProcess::end(double grace) {
    if (status_ || pid_ <= 0) return;
    // Until the program is reaped its id names this group alone, even after it exited.
    ::kill(-pid_, SIGTERM);
    const double deadline = now() + grace;
    while (!hasExited() && now() < deadline) {
        pollfd p{pidFd_, POLLIN, 0};
        ::poll(&p, pidFd_ >= 0 ? 1 : 0, pidFd_ >= 0 ? pollTimeout(deadline) : std::min(pollTimeout(deadline), 20));
    }
    ::kill(-pid_, SIGKILL);
    reap(true);
}

}  // namespace murmelo
