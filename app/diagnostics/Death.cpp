#include "diagnostics/Death.h"

#include "base/Log.h"
#include "base/OrderlyQuit.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace murmelo {
namespace {

constexpr size_t PRIMED_CAPACITY = 1024;

// Everything the handlers read is static storage, so it exists before any handler runs.
std::atomic<const char*> g_logPath{nullptr};
std::atomic<bool> g_primedSet{false};
std::atomic<char> g_primed[PRIMED_CAPACITY];
std::atomic_flag g_primedWriter = ATOMIC_FLAG_INIT;  // writers only; handlers never wait
// Per slot: process id in the low half, process descriptor + 1 in the high half (0: none),
// so one exchange takes both.
std::atomic<quint64> g_slots[DEATH_CHILD_COUNT];
std::atomic<int> g_quitWriteFd{-1};
std::atomic<bool> g_quitRequested{false};
std::terminate_handler g_previousTerminate = nullptr;

static_assert(std::atomic<quint64>::is_always_lock_free);
static_assert(std::atomic<char>::is_always_lock_free);

quint64 pack(qint32 pid, int fd) { return quint64(quint32(pid)) | (quint64(quint32(fd + 1)) << 32); }
qint32 pidOf(quint64 v) { return qint32(quint32(v & 0xffffffffu)); }
int fdOf(quint64 v) { return int(quint32(v >> 32)) - 1; }

template <size_t N>
constexpr std::pair<const char*, size_t> lit(const char (&s)[N]) { return {s, N - 1}; }

std::pair<const char*, size_t> lineFor(int s) {
    switch (s) {
    case SIGINT: return lit("⚰ Murmelo умер: SIGINT\n");
    case SIGILL: return lit("⚰ Murmelo умер: SIGILL\n");
    case SIGABRT: return lit("⚰ Murmelo умер: SIGABRT (abort / std::terminate / precondition)\n");
    case SIGFPE: return lit("⚰ Murmelo умер: SIGFPE\n");
    case SIGBUS: return lit("⚰ Murmelo умер: SIGBUS (плохой доступ к памяти)\n");
    case SIGSEGV: return lit("⚰ Murmelo умер: SIGSEGV (плохой адрес — баг памяти в коде)\n");
    case SIGTERM: return lit("⚰ Murmelo умер: SIGTERM (система/кто-то попросил выйти)\n");
    case SIGHUP: return lit("⚰ Murmelo умер: SIGHUP (закрыт терминал)\n");
    default: return lit("⚰ Murmelo умер: неизвестный сигнал\n");
    }
}

// Async-signal-safe from here to the handlers' end: unlink, kill, open, write, close.
void killChild(quint64 v) {
    const qint32 pid = pidOf(v);
    const int fd = fdOf(v);
    if (pid <= 0) {
        if (fd >= 0) ::close(fd);
        return;
    }
    if (fd >= 0) {
#ifdef SYS_pidfd_send_signal
        ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
#endif
        ::close(fd);
        return;
    }
    // No descriptor (an old kernel): signal the id only while it is still our own child,
    // alive or unreaped, so it cannot have been reused by another process.
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) ::kill(pid, SIGKILL);
}

void cleanUp() {
    if (g_primedSet.exchange(false)) {
        char path[PRIMED_CAPACITY];
        for (size_t i = 0; i < PRIMED_CAPACITY; ++i) {
            path[i] = g_primed[i].load(std::memory_order_relaxed);
            if (!path[i]) break;
        }
        path[PRIMED_CAPACITY - 1] = 0;
        ::unlink(path);
    }
    for (int i = 0; i < DEATH_CHILD_COUNT; ++i) killChild(g_slots[i].exchange(0));
}

void writeRaw(std::pair<const char*, size_t> line) {
    const char* path = g_logPath.load();
    if (!path) return;
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    [[maybe_unused]] ssize_t n = ::write(fd, line.first, line.second);
    ::close(fd);
}

void onDeathSignal(int s) {
    const int savedErrno = errno;
    if (s == SIGTERM || s == SIGHUP) {
        const int fd = g_quitWriteFd.load();
        if (fd >= 0 && !g_quitRequested.exchange(true)) {
            const char byte = char(s);
            [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
            errno = savedErrno;
            return;
        }
    }
    cleanUp();
    writeRaw(lineFor(s));
    ::signal(s, SIG_DFL);
    ::raise(s);
    errno = savedErrno;
}

void onExit() {
    cleanUp();
    writeRaw(lit("⚰ Murmelo вышел: штатный exit/atexit (не сигнал)\n"));
}

void onTerminate() {
    QString name = QStringLiteral("?");
    QString reason = QStringLiteral("?");
    if (std::type_info* type = abi::__cxa_current_exception_type()) {
        int status = 0;
        char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        name = QString::fromUtf8(demangled && status == 0 ? demangled : type->name());
        std::free(demangled);
        try {
            throw;
        } catch (const std::exception& e) {
            if (*e.what()) reason = QString::fromUtf8(e.what());
        } catch (...) {
        }
    }
    logLine(QStringLiteral("⚰ Murmelo умер: NSException ") + name + QStringLiteral(" — ") + reason);
    if (g_previousTerminate) g_previousTerminate();
    std::abort();
}

// The session's SIGTERM, and the SIGHUP of a closed terminal, reach the main thread through
// a pipe, where the quit may run the code a signal handler must not. The byte is the signal.
void installQuitPipe() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || g_quitWriteFd.load() >= 0) return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [fd = fds[0], notifier] {
        char buf[16];
        int signal = SIGTERM;
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) signal = buf[0];
        notifier->setEnabled(false);
        OrderlyQuit::request(signal == SIGHUP ? QStringLiteral("SIGHUP: терминал закрыт")
                                              : QStringLiteral("SIGTERM от сеанса"));
    });
    g_quitWriteFd = fds[1];
}

void installHandler(int s) {
    struct sigaction sa {};
    sa.sa_handler = onDeathSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(s, &sa, nullptr);
}

}  // namespace

std::optional<DeathChild> deathChildFromRaw(int raw) {
    if (raw == 0) return DeathChild::whisperServer;
    if (raw == 1) return DeathChild::corrector;
    if (raw == 2) return DeathChild::codexAgent;
    return std::nullopt;
}

void installQuitSignals() {
    installQuitPipe();
    // A closed terminal (SIGHUP) ends the program as the session's SIGTERM does, unless it
    // was started to outlive its terminal (nohup leaves SIGHUP ignored).
    struct sigaction hangup {};
    const bool hangupIgnored = ::sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler == SIG_IGN;
    for (int s : {SIGTERM, SIGHUP}) {
        if (s == SIGHUP && hangupIgnored) continue;
        installHandler(s);
    }
}

void installDeathLogging() {
    // The log path, copied once and never freed: the handlers read it as it is. The child
    // slots are static storage: nothing to allocate.
    g_logPath = ::strdup(QFile::encodeName(Log::path()).constData());
    g_previousTerminate = std::set_terminate(onTerminate);
    // Start-up has normally put these in place before its first line already.
    installQuitSignals();
    for (int s : {SIGINT, SIGSEGV, SIGABRT, SIGILL, SIGBUS, SIGFPE}) installHandler(s);
    // A write to a closed pipe returns an error instead of killing us.
    ::signal(SIGPIPE, SIG_IGN);
    std::atexit(onExit);
    logLine(QStringLiteral("инструментовка смерти установлена"));
}

void rememberPrimedForDeath(const QString& path) {
    const QByteArray bytes = path.toUtf8();
    while (g_primedWriter.test_and_set(std::memory_order_acquire)) {
    }
    g_primedSet = false;
    if (size_t(bytes.size()) < PRIMED_CAPACITY) {
        for (qsizetype i = 0; i < bytes.size(); ++i) g_primed[i].store(bytes[i], std::memory_order_relaxed);
        g_primed[bytes.size()].store(0, std::memory_order_relaxed);
        g_primedSet.store(true, std::memory_order_release);
    }
    g_primedWriter.clear(std::memory_order_release);
}

void forgetPrimedForDeath() { g_primedSet = false; }

std::optional<QString> primedPathForDeath() {
    if (!g_primedSet.load(std::memory_order_acquire)) return std::nullopt;
    QByteArray bytes;
    for (size_t i = 0; i < PRIMED_CAPACITY; ++i) {
        const char c = g_primed[i].load(std::memory_order_relaxed);
        if (!c) break;
        bytes += c;
    }
    return QString::fromUtf8(bytes);
}

void rememberChildForDeath(DeathChild child, qint32 pid) {
    int fd = -1;
#ifdef SYS_pidfd_open
    if (pid > 0) fd = int(::syscall(SYS_pidfd_open, pid, 0));
#endif
    const quint64 old = g_slots[int(child)].exchange(pack(pid, fd < 0 ? -1 : fd));
    if (fdOf(old) >= 0) ::close(fdOf(old));
}

void forgetChildForDeath(DeathChild child, qint32 ifPid) {
    std::atomic<quint64>& slot = g_slots[int(child)];
    quint64 v = slot.load();
    while (pidOf(v) == ifPid && pidOf(v) != 0) {
        if (slot.compare_exchange_weak(v, 0)) {
            if (fdOf(v) >= 0) ::close(fdOf(v));
            return;
        }
    }
}

qint32 childPidForDeath(DeathChild child) { return pidOf(g_slots[int(child)].load()); }

}  // namespace murmelo
