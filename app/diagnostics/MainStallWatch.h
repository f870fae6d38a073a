#pragma once
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

class Defaults;

// Measures, from a background thread, how late the main thread answers a ping, and logs a
// late answer with the label of the main-thread work that was running.
class MainStallWatch {
public:
    // The repeating timer that drives the pings. The application's runs on a thread of its
    // own; tests install one they fire by hand.
    class Ticker {
    public:
        virtual ~Ticker() = default;
        virtual void start(double firstAfter, double period, double leeway, std::function<void()> tick) = 0;
        // The next tick comes one period from now.
        virtual void reschedule(double period, double leeway) = 0;
        // No tick runs once this returns, nor later.
        virtual void stop() = 0;
    };

    // Seams to the world outside the main thread; empty members keep the real ones.
    struct Hooks {
        Ticker* ticker = nullptr;
        // Runs a bounded job off the main thread.
        std::function<void(std::function<void()>)> runInBackground;
        // Writes a stack sample of the process to the file; false with an error text when
        // the sampler cannot be started.
        std::function<bool(qint64 pid, const QString& file, QString* error)> sample;
        // The process table, busiest first, with a header line; none when it cannot be read.
        std::function<std::optional<QString>()> processTable;
        // The name of the main event loop's current mode.
        std::function<QString()> runLoopMode;
    };

    static constexpr double FIRST_PING = 1.0;
    static constexpr double PERIOD_NORMAL = 2.0;
    static constexpr double LEEWAY_NORMAL = 0.2;
    static constexpr double PERIOD_BUSY = 0.25;
    static constexpr double LEEWAY_BUSY = 0.02;
    static constexpr double STALL_FROM = 0.4;
    static constexpr double SAMPLE_FROM = 1.5;
    static constexpr double SAMPLE_SPACING = 600.0;
    static constexpr double NEIGHBOURS_SPACING = 60.0;
    static constexpr int NEIGHBOURS_SHOWN = 5;
    static constexpr int SAMPLES_KEPT = 20;

    static void start();
    // The orderly quit: the pings stop before the main queue they are posted to goes away.
    static void stop();
    // Names the main thread's current work; calls from other threads are ignored.
    static void enter(const QString& work);
    static void leave();
    static void setBusy(bool busy);
    static bool enabled(const Defaults* defaults = nullptr);
    static bool samplerEnabled(const Defaults* defaults = nullptr);
    static QString sampleDir();

    // Tests: the seams, and a fresh state (no timer, no pending ping).
    static void setHooksForTesting(Hooks hooks);
    static void resetForTesting();
    static bool isBusy();
    static QString currentWork();
};

// Names the main thread's work for the length of a scope.
class MainStallScope {
public:
    explicit MainStallScope(const QString& work) { MainStallWatch::enter(work); }
    ~MainStallScope() { MainStallWatch::leave(); }
    MainStallScope(const MainStallScope&) = delete;
    MainStallScope& operator=(const MainStallScope&) = delete;
};

}  // namespace murmelo
