#include "diagnostics/MainStallWatch.h"

#include "base/Defaults.h"
#include "base/Format.h"
#include "base/Log.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <sys/prctl.h>
#include <unistd.h>

namespace murmelo {
namespace {

const QString NONE = QStringLiteral("—");

// The application's ticker: a thread that sleeps until the next deadline.
class ThreadTicker : public MainStallWatch::Ticker {
public:
    void start(double firstAfter, double period, double, std::function<void()> tick) override {
        std::lock_guard lock(mutex_);
        period_ = period;
        next_ = Steady::now() + toDuration(firstAfter);
        tick_ = std::move(tick);
        if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
    }
    void reschedule(double period, double) override {
        std::lock_guard lock(mutex_);
        period_ = period;
        next_ = Steady::now() + toDuration(period);
        wake_.notify_all();
    }
    void stop() override {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            wake_.notify_all();
        }
        // A tick under way finishes first.
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    }

private:
    using Steady = std::chrono::steady_clock;
    static Steady::duration toDuration(double s) {
        return std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(s));
    }
    void loop() {
        std::unique_lock lock(mutex_);
        while (!stopped_) {
            if (Steady::now() >= next_) {
                next_ = Steady::now() + toDuration(period_);
                auto tick = tick_;
                lock.unlock();
                tick();
                lock.lock();
                continue;
            }
            wake_.wait_until(lock, next_);
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    double period_ = MainStallWatch::PERIOD_NORMAL;
    Steady::time_point next_;
    std::function<void()> tick_;
    bool stopped_ = false;
    std::thread thread_;
};

// Linux has no sampling tool of its own; gdb prints every thread's stack of a running
// process in about a second.
bool sampleWithGdb(qint64 pid, const QString& file, QString* error) {
    const QString gdb = QStandardPaths::findExecutable(QStringLiteral("gdb"));
    if (gdb.isEmpty()) {
        if (error) *error = QStringLiteral("gdb не найден, стек на Linux снимать нечем");
        return false;
    }
    QProcess p;
    p.setProgram(gdb);
    p.setArguments({QStringLiteral("-batch"), QStringLiteral("-nx"), QStringLiteral("-p"), QString::number(pid),
                    QStringLiteral("-ex"), QStringLiteral("thread apply all bt")});
    p.setStandardOutputFile(file);
    p.setStandardErrorFile(QProcess::nullDevice());
    // With Yama's ptrace scope 1 only a declared tracer may attach to us.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    p.start();
    if (!p.waitForStarted()) {
        ::prctl(PR_SET_PTRACER, 0, 0, 0, 0);
        if (error) *error = p.errorString();
        return false;
    }
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    ::prctl(PR_SET_PTRACER, 0, 0, 0, 0);
    return true;
}

std::optional<QString> linuxProcessTable() {
    QProcess p;
    p.setProgram(QStringLiteral("/bin/ps"));
    p.setArguments({QStringLiteral("-Ao"), QStringLiteral("pcpu,rss,comm"), QStringLiteral("--sort=-pcpu")});
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForStarted()) return std::nullopt;
    p.closeWriteChannel();
    QByteArray out;
    while (p.waitForReadyRead(-1)) out += p.readAllStandardOutput();
    p.waitForFinished();
    out += p.readAllStandardOutput();
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder(out);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

// Qt names no modes of its loop; what tells a modal wait from the ordinary loop is how deep
// the main thread's event loops are nested.
QString mainLoopMode() {
    auto* app = QCoreApplication::instance();
    const int level = app ? app->thread()->loopLevel() : 0;
    if (level <= 0) return QStringLiteral("?");
    if (level == 1) return QStringLiteral("default");
    return QStringLiteral("nested-%1").arg(level);
}

struct State {
    std::mutex lock;
    bool started = false;  // `timer` is present
    std::optional<double> pingSentAt;
    bool pendingPing = false;
    double worst = 0;
    bool isBusy = false;
    QString currentWork = NONE;
    QString workAtStall = NONE;
    std::optional<double> lastSampleAt;
    bool sampling = false;
    std::optional<double> lastNeighboursAt;
    MainStallWatch::Hooks hooks;
};

// Never destroyed: the watch's detached threads (ticker, sampler, process table) may still
// run while the process exits and its static objects are torn down.
State& state() {
    static State* s = new State;
    return *s;
}

double now() { return Clock::shared().uptime(); }

// Differences of uptime readings carry binary noise (0.4 s may come out as 0.39999999):
// thresholds and whole milliseconds are taken with a microsecond's tolerance.
constexpr double EPS = 1e-6;
qint64 wholeMs(double seconds) { return qint64(seconds * 1000.0 + EPS); }

MainStallWatch::Ticker& ticker() {
    if (state().hooks.ticker) return *state().hooks.ticker;
    static ThreadTicker* real = new ThreadTicker;  // lives as long as its thread
    return *real;
}

void runInBackground(std::function<void()> job) {
    if (state().hooks.runInBackground) state().hooks.runInBackground(std::move(job));
    else std::thread(std::move(job)).detach();
}

void pruneSamples() {
    const QString dir = MainStallWatch::sampleDir();
    QDir d(dir);
    if (!d.exists()) return;
    std::vector<std::pair<QString, QDateTime>> files;
    for (const QString& name : d.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(QLatin1String("stall-"))) continue;
        const QString path = Folders::join(dir, name);
        const QDateTime modified = QFileInfo(path).lastModified();
        if (!modified.isValid()) continue;
        files.emplace_back(path, modified);
    }
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    for (size_t i = MainStallWatch::SAMPLES_KEPT; i < files.size(); ++i) QFile::remove(files[i].first);
}

void takeSample(qint64 stalledMs) {
    if (!MainStallWatch::samplerEnabled() || stalledMs < qint64(MainStallWatch::SAMPLE_FROM * 1000)) return;
    State& s = state();
    {
        std::lock_guard lock(s.lock);
        if (s.sampling) return;
        if (s.lastSampleAt && now() - *s.lastSampleAt < MainStallWatch::SAMPLE_SPACING) return;
        s.lastSampleAt = now();
        s.sampling = true;
    }
    runInBackground([stalledMs] {
        State& s = state();
        const QString dir = MainStallWatch::sampleDir();
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const qint64 pid = QCoreApplication::applicationPid();
        const QString file = dir + QStringLiteral("/stall-") + QString::number(pid) + '-' + QString::number(stalledMs) +
                             QStringLiteral("ms.txt");
        QString error;
        auto sampler = s.hooks.sample ? s.hooks.sample : sampleWithGdb;
        if (sampler(pid, file, &error)) {
            QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            logLine(QStringLiteral("застой: снят стек — ") + file);
            pruneSamples();
        } else {
            logLine(QStringLiteral("застой: снять стек не вышло — ") + error);
        }
        std::lock_guard lock(s.lock);
        s.sampling = false;
    });
}

void logNeighbours() {
    State& s = state();
    {
        std::lock_guard lock(s.lock);
        if (s.lastNeighboursAt && now() - *s.lastNeighboursAt < MainStallWatch::NEIGHBOURS_SPACING) return;
        s.lastNeighboursAt = now();
    }
    runInBackground([] {
        State& s = state();
        auto table = s.hooks.processTable ? s.hooks.processTable() : linuxProcessTable();
        if (!table) return;
        QStringList lines = table->split('\n', Qt::SkipEmptyParts);
        QStringList entries;
        for (int i = 1; i < lines.size() && i <= MainStallWatch::NEIGHBOURS_SHOWN; ++i) {
            const QStringList pieces = lines[i].split(' ', Qt::SkipEmptyParts);
            if (pieces.size() < 3) continue;
            entries << pieces.mid(2).join(' ') + ' ' + pieces[0] + '%';
        }
        if (!entries.isEmpty()) logLine(QStringLiteral("застой/соседи: ") + entries.join(QStringLiteral(", ")));
    });
}

void answer(double sentAt) {
    State& s = state();
    const QString mode = s.hooks.runLoopMode ? s.hooks.runLoopMode() : mainLoopMode();
    const double latency = now() - sentAt;
    QString label;
    double worst;
    {
        std::lock_guard lock(s.lock);
        s.pendingPing = false;
        label = s.workAtStall != NONE ? s.workAtStall : s.currentWork;
        worst = s.worst;
        s.worst = 0;
        s.workAtStall = NONE;
    }
    const double stall = std::max(latency, worst);
    if (stall + EPS < MainStallWatch::STALL_FROM) return;
    takeSample(wholeMs(stall));
    QString front = QStringLiteral("?");
    if (auto app = Workspace::shared().frontmostApplication(); app && !app->localizedName.isEmpty())
        front = app->localizedName;
    logLine(formatSpec(QStringLiteral("⚠ главный поток стоял %.0f мс — в это время: %@ [переднее: %@, режим цикла: %@]"),
                       {stall * 1000.0, label, front, mode}));
    logNeighbours();
}

void tick() {
    State& s = state();
    std::unique_lock lock(s.lock);
    if (!s.started) return;
    if (s.pendingPing && s.pingSentAt) {
        const double elapsed = now() - *s.pingSentAt;
        if (elapsed > s.worst) s.worst = elapsed;
        if (s.currentWork != NONE) s.workAtStall = s.currentWork;
        lock.unlock();
        if (elapsed + EPS >= MainStallWatch::STALL_FROM) takeSample(wholeMs(elapsed));
        return;
    }
    const double sentAt = now();
    s.pingSentAt = sentAt;
    s.pendingPing = true;
    s.workAtStall = NONE;
    lock.unlock();
    MainQueue::shared().post([sentAt] { answer(sentAt); });
}

}  // namespace

bool MainStallWatch::enabled(const Defaults* defaults) {
    const Defaults& d = defaults ? *defaults : Defaults::shared();
    return d.realBool(QStringLiteral("stallWatch")).value_or(true);
}

bool MainStallWatch::samplerEnabled(const Defaults* defaults) {
    const Defaults& d = defaults ? *defaults : Defaults::shared();
    return d.realBool(QStringLiteral("stallSampler")).value_or(false);
}

QString MainStallWatch::sampleDir() { return Folders::join(Folders::userLogs(), QStringLiteral("Murmelo/stalls")); }

void MainStallWatch::start() {
    if (!enabled()) {
        logLine(QStringLiteral("сторож застоя выключен ключом stallWatch — застои в лог не пишутся"));
        return;
    }
    if (samplerEnabled()) {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("gdb"));
        logLine(QStringLiteral("застой: снимок стека ВКЛЮЧЁН (ключ stallSampler) — при застое дольше 1.5 с зовётся ") +
                (tool.isEmpty() ? QStringLiteral("gdb") : tool) + QStringLiteral(", это секунда нагрузки на процесс"));
    }
    {
        std::lock_guard lock(state().lock);
        if (state().started) return;
        state().started = true;
    }
    ticker().start(FIRST_PING, PERIOD_NORMAL, LEEWAY_NORMAL, [] { tick(); });
}

void MainStallWatch::stop() {
    {
        std::lock_guard lock(state().lock);
        if (!state().started) return;
        state().started = false;
    }
    ticker().stop();
}

void MainStallWatch::enter(const QString& work) {
    if (!MainQueue::shared().isMainThread()) return;
    std::lock_guard lock(state().lock);
    state().currentWork = work;
}

void MainStallWatch::leave() {
    if (!MainQueue::shared().isMainThread()) return;
    std::lock_guard lock(state().lock);
    state().currentWork = NONE;
}

void MainStallWatch::setBusy(bool busy) {
    State& s = state();
    {
        std::lock_guard lock(s.lock);
        if (!s.started || busy == s.isBusy) return;
        s.isBusy = busy;
    }
    // A pending ping stays pending; only the period changes.
    if (busy) ticker().reschedule(PERIOD_BUSY, LEEWAY_BUSY);
    else ticker().reschedule(PERIOD_NORMAL, LEEWAY_NORMAL);
}

void MainStallWatch::setHooksForTesting(Hooks hooks) {
    std::lock_guard lock(state().lock);
    state().hooks = std::move(hooks);
}

void MainStallWatch::resetForTesting() {
    State& s = state();
    std::lock_guard lock(s.lock);
    s.started = false;
    s.pingSentAt.reset();
    s.pendingPing = false;
    s.worst = 0;
    s.isBusy = false;
    s.currentWork = NONE;
    s.workAtStall = NONE;
    s.lastSampleAt.reset();
    s.sampling = false;
    s.lastNeighboursAt.reset();
    s.hooks = {};
}

bool MainStallWatch::isBusy() {
    std::lock_guard lock(state().lock);
    return state().isBusy;
}

QString MainStallWatch::currentWork() {
    std::lock_guard lock(state().lock);
    return state().currentWork;
}

}  // namespace murmelo
