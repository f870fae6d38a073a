// Start-up of the real program on the test desktop: the milliseconds from exec to the start
// line, the end of the clean-up self-test, the event tap and the input-rivals line, read
// from the program's own log as each line lands (inotify). Targets: the start line within
// 100 ms of exec, the event tap within 200 ms.
// Several programs (a build before and after a change) are started in turn, so their figures
// come from the same minutes of a shared machine. Runs inside the test desktop:
//   scripts/desktop-session build/bin/murmelo_start_bench [--runs N] [PROGRAM...]
// PROGRAM defaults to the murmelo beside this bench.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <ctime>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Milestone {
    const char* name;
    std::vector<const char*> starts;  // the log line's text after its time of day
};

// In the order the start-up writes them; the last one ends a run.
const std::vector<Milestone>& milestones() {
    static const std::vector<Milestone> m = {
        {"start line", {"=== Murmelo запущен ==="}},
        {"self-test done", {"Smart Cleanup self-test:"}},
        {"event tap up", {"event-tap установлен", "НЕ удалось создать event-tap"}},
        {"input rivals", {"перехватчики ввода:", "⚠ РЯДОМ РАБОТАЕТ ЧУЖОЙ ПЕРЕХВАТЧИК"}},
    };
    return m;
}

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

std::vector<std::string> environmentFor(const QString& home) {
    const QDir root(home);
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const char* dir : {"config/Murmelo", "state/Murmelo", "data", "cache", "tmp"})
        root.mkpath(QString::fromLatin1(dir));
    env["HOME"] = home.toStdString();
    env["XDG_CONFIG_HOME"] = root.filePath("config").toStdString();
    env["XDG_STATE_HOME"] = root.filePath("state").toStdString();
    env["XDG_DATA_HOME"] = root.filePath("data").toStdString();
    env["XDG_CACHE_HOME"] = root.filePath("cache").toStdString();
    env["TMPDIR"] = root.filePath("tmp").toStdString();
    env["QT_QPA_PLATFORM"] = "xcb";
    std::vector<std::string> out;
    for (const auto& [k, v] : env) out.push_back(k + '=' + v);
    return out;
}

// One start: the milliseconds from just before exec to each milestone's line (absent when it
// never came within the time allowed).
std::vector<std::optional<double>> runOnce(const QString& program) {
    std::vector<std::optional<double>> at(milestones().size());
    QTemporaryDir home;
    const std::vector<std::string> env = environmentFor(home.path());
    QFile defaults(home.filePath("config/Murmelo/defaults.json"));
    if (defaults.open(QIODevice::WriteOnly)) defaults.write("{}");
    defaults.close();
    const QByteArray logDir = QFile::encodeName(home.filePath("state/Murmelo"));
    const QByteArray logPath = logDir + "/murmelo.log";

    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, logDir.constData(), IN_CREATE | IN_MODIFY);

    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const QByteArray exe = QFile::encodeName(program);
    char* argv[] = {const_cast<char*>(exe.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const double t0 = nowMs();
    if (posix_spawn(&pid, exe.constData(), &actions, nullptr, argv, envp.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", exe.constData());
        ::close(watch);
        return at;
    }
    posix_spawn_file_actions_destroy(&actions);

    std::string pending;
    off_t readUpTo = 0;
    const double deadline = t0 + 15000;
    while (!at.back() && nowMs() < deadline) {
        pollfd p{watch, POLLIN, 0};
        ::poll(&p, 1, 50);
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
        const double seen = nowMs();
        const int fd = ::open(logPath.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char buf[65536];
        ssize_t n = 0;
        while ((n = ::pread(fd, buf, sizeof buf, readUpTo)) > 0) {
            pending.append(buf, size_t(n));
            readUpTo += n;
        }
        ::close(fd);
        for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            const auto space = line.find(' ');
            const std::string text = space == std::string::npos ? line : line.substr(space + 1);
            for (size_t i = 0; i < milestones().size(); ++i)
                for (const char* start : milestones()[i].starts)
                    if (!at[i] && text.rfind(start, 0) == 0) at[i] = seen - t0;
        }
    }
    ::close(watch);
    ::kill(pid, SIGTERM);
    int status = 0;
    const double killAt = nowMs() + 10000;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (nowMs() > killAt) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::usleep(10000);  // waiting for a process to end, not timing anything
    }
    return at;
}

std::string figure(std::vector<double> v) {
    if (v.empty()) return "—";
    std::sort(v.begin(), v.end());
    char out[96];
    std::snprintf(out, sizeof out, "min %6.1f  median %6.1f  max %6.1f ms", v.front(), v[v.size() / 2], v.back());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 10;
    QStringList programs;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--runs") && i + 1 < args.size()) runs = args[++i].toInt();
        else programs << args[i];
    }
    if (programs.isEmpty()) programs << QCoreApplication::applicationDirPath() + QStringLiteral("/murmelo");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "run inside scripts/desktop-session\n");
        return 2;
    }
    std::vector<std::vector<std::vector<double>>> figures(
        size_t(programs.size()), std::vector<std::vector<double>>(milestones().size()));
    for (int r = 0; r < runs; ++r)
        for (qsizetype p = 0; p < programs.size(); ++p) {
            const auto at = runOnce(programs[p]);
            for (size_t i = 0; i < at.size(); ++i)
                if (at[i]) figures[size_t(p)][i].push_back(*at[i]);
        }
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("%d runs each, load average %.2f %.2f %.2f; ms from exec\n", runs, load[0], load[1], load[2]);
    for (size_t i = 0; i < milestones().size(); ++i) {
        std::printf("%s\n", milestones()[i].name);
        for (qsizetype p = 0; p < programs.size(); ++p)
            std::printf("  %-40s %s (%zu/%d)\n", qPrintable(programs[p]), figure(figures[size_t(p)][i]).c_str(),
                        figures[size_t(p)][i].size(), runs);
    }
    return 0;
}
