// The whole key path on the real X backend: a key from the XInput stream through the tap,
// the dispatcher, the typing statistics and the layout switcher (with its models and
// spelling tables loaded), as the program runs it. Another process types English text into
// the test desktop's target window with XTest; this one only listens.
// Targets: p99 under 20 µs per key on the main thread, and under 100 µs of the program's
// CPU (every thread) per typed key. The wake-ups per typed key of the main thread and of the
// others (the XInput reader) say how much of that CPU is waking up, not work.
// Runs inside the test desktop:
//   scripts/desktop-session --target build/bin/murmelo_test_target build/bin/murmelo_tap_bench
#include "DesktopHarness.h"
#include "base/Defaults.h"
#include "input/GlobalEventTap.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/RuForms.h"
#include "linux/LinuxPlatform.h"
#include "platform/EventTap.h"
#include "platform/QtMainQueue.h"
#include "shell/SubsystemLinks.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace murmelo;

namespace {

// Each thread's CPU seconds and how many times it went to sleep and was woken (a thread that
// waits in poll for every event counts one per event), by "id name".
struct ThreadUse {
    double cpu = 0;
    long wakeups = 0;
};
std::map<std::string, ThreadUse> threadUse() {
    std::map<std::string, ThreadUse> out;
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(t + QStringLiteral("/stat")));
        QFile status(tasks.filePath(t + QStringLiteral("/status")));
        if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        const QByteArray name = line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1);
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        ThreadUse use;
        use.cpu = (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
        for (const QByteArray& l : status.readAll().split('\n'))
            if (l.startsWith("voluntary_ctxt_switches:")) use.wakeups = l.mid(24).trimmed().toLong();
        out[(t + QStringLiteral(" ") + QString::fromLatin1(name)).toStdString()] = use;
    }
    return out;
}

double cpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Runs the event loop in 1 ms slices until done() or the time is up.
bool spinUntil(const std::function<bool()>& done, double seconds) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > seconds * 1000) return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A child process types the text with its own X connection, a key every `pause` µs, as a
// fast typist's keys come (press, then release). Its CPU is its own, not the program's.
pid_t typeInChild(const QByteArray& text, int pauseUs) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    Display* d = XOpenDisplay(nullptr);
    if (!d) _exit(1);
    for (const char c : text) {
        const KeySym sym = c == ' ' ? XK_space : XStringToKeysym(QByteArray(1, c).constData());
        const KeyCode kc = XKeysymToKeycode(d, sym);
        XTestFakeKeyEvent(d, kc, True, CurrentTime);
        XFlush(d);
        usleep(pauseUs / 2);
        XTestFakeKeyEvent(d, kc, False, CurrentTime);
        XFlush(d);
        usleep(pauseUs / 2);
    }
    XSync(d, False);
    XCloseDisplay(d);
    _exit(0);
}

struct TapPath {
    std::vector<double> pathUs;  // per key down: from the tap's translation to the callback's answer
    std::vector<double> cpuUs;   // per key down: the main thread's CPU in the callback
    int downs = 0, ups = 0;
    int expectedUps = 0;
    QEventLoop* waiting = nullptr;  // quit when the last key's release has been through

    bool install() {
        return EventTap::shared().create([this](const InputEvent& e) {
            const bool down = e.type == InputEventType::keyDown;
            static FILE* perfControl = qEnvironmentVariableIsSet("MURMELO_TAP_BENCH_PERF_CTL")
                                           ? std::fopen(qgetenv("MURMELO_TAP_BENCH_PERF_CTL").constData(), "w")
                                           : nullptr;
            const bool profile = perfControl && down && downs == 0;
            if (profile) std::fputs("enable\n", perfControl), std::fflush(perfControl);
            const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            const bool pass = GlobalEventTap::tapCallback(e);
            const double cpu1 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            if (profile) std::fputs("disable\n", perfControl), std::fflush(perfControl);
            if (down) {
                cpuUs.push_back((cpu1 - cpu0) * 1e6);
                pathUs.push_back((Clock::shared().uptime() - double(e.timestamp) / 1e9) * 1e6);
                ++downs;
            } else if (e.type == InputEventType::keyUp) {
                if (++ups >= expectedUps && waiting) waiting->quit();
            }
            return pass;
        });
    }
};

void BM_TapPathTypedText(benchmark::State& state) {
    test::DesktopTarget target;
    if (!test::DesktopTarget::available()) {
        state.SkipWithError("needs the test desktop (scripts/desktop-session with --target)");
        return;
    }
    static TapPath tap;
    static bool installed = tap.install();
    if (!installed || !target.command("clear") || !target.command("focus line")) {
        state.SkipWithError("the tap, the target or the X server did not answer");
        return;
    }
    // Lower-case English words the switcher leaves alone: nothing is retyped.
    QByteArray text;
    const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dogs ", "and ", "then ",
                           "runs ", "home ", "again ", "with ", "some ", "bread "};
    for (int i = 0; text.size() < state.range(0); ++i) text += words[i % 16];
    text.truncate(int(state.range(0)));

    for (auto _ : state) {
        tap.pathUs.clear();
        tap.cpuUs.clear();
        tap.downs = tap.ups = 0;
        tap.expectedUps = int(text.size());
        target.command("clear");
        const auto threads0 = threadUse();
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double main0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const pid_t child = typeInChild(text, 2000);
        if (qEnvironmentVariableIsSet("MURMELO_TAP_BENCH_THREADS")) std::fprintf(stderr, "typing\n");
        // The program's own event loop, not a polling one: the CPU measured is the program's.
        QEventLoop loop;
        tap.waiting = &loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        tap.waiting = nullptr;
        const bool all = tap.ups >= text.size();
        const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        const double mainCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - main0;
        int status = 0;
        waitpid(child, &status, 0);
        {
            const std::string mainThread = std::to_string(getpid()) + ' ';
            long main = 0, others = 0;
            for (const auto& [name, use] : threadUse()) {
                const ThreadUse before = threads0.count(name) ? threads0.at(name) : ThreadUse{};
                (name.rfind(mainThread, 0) == 0 ? main : others) += use.wakeups - before.wakeups;
                if (qEnvironmentVariableIsSet("MURMELO_TAP_BENCH_THREADS"))
                    std::fprintf(stderr, "thread %s: %.1f ms, %ld wake-ups\n", name.c_str(), (use.cpu - before.cpu) * 1000,
                                 use.wakeups - before.wakeups);
            }
            state.counters["main_wakeups_per_key"] = double(main) / double(text.size());
            state.counters["other_wakeups_per_key"] = double(others) / double(text.size());
        }
        if (!all) {
            state.SkipWithError("the typed keys did not all arrive");
            return;
        }
        std::vector<double> s = tap.pathUs;
        // The first key of the run on its own: it must cost what every other key costs.
        state.counters["first_us"] = s.front();
        state.counters["first_cpu_us"] = tap.cpuUs.front();
        {
            std::vector<double> c(tap.cpuUs.begin() + 1, tap.cpuUs.end());
            std::sort(c.begin(), c.end());
            state.counters["cpu_median_us"] = c[c.size() / 2];
            state.counters["cpu_p99_us"] = c[c.size() * 99 / 100];
        }
        state.counters["slowest_key"] = double(std::max_element(s.begin(), s.end()) - s.begin());
        if (qEnvironmentVariableIsSet("MURMELO_TAP_BENCH_SLOW")) {
            std::vector<size_t> order(s.size());
            for (size_t i = 0; i < s.size(); ++i) order[i] = i;
            std::partial_sort(order.begin(), order.begin() + 8, order.end(), [&](size_t a, size_t b) { return s[a] > s[b]; });
            for (int k = 0; k < 8; ++k)
                std::fprintf(stderr, "slow key %zu ('%c'): %.0f us\n", order[k], text[qsizetype(order[k])], s[order[k]]);
        }
        std::sort(s.begin(), s.end());
        state.counters["keys"] = double(s.size());
        state.counters["median_us"] = s[s.size() / 2];
        state.counters["p99_us"] = s[s.size() * 99 / 100];
        state.counters["max_us"] = s.back();
        state.counters["cpu_per_key_us"] = cpu / double(text.size()) * 1e6;
        state.counters["main_cpu_per_key_us"] = mainCpu / double(text.size()) * 1e6;
    }
}
BENCHMARK(BM_TapPathTypedText)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QtMainQueue queue;
    MainQueue::install(&queue);
    linuxdesktop::installLinuxPlatform(QStringLiteral("com.local.murmelo.tapbench"));
    Defaults::shared().set(LayoutSwitcher::ENABLED_KEY, true);
    linkSubsystems();
    startLayoutSwitcher();
    // The switcher's models and spelling tables load off the main thread; typing starts
    // once they are in.
    if (!spinUntil(
            [] {
                return LayoutSwitcher::shared().loaded && RuForms::isReady() && LayoutLexicons::shared().spellLoaded &&
                       !LayoutLexicons::shared().isLoading();
            },
            120)) {
        std::fprintf(stderr, "the switcher's tables did not load\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
