#pragma once
// What the switcher's benchmarks run on: in-memory defaults with the switcher on, a manual
// clock and main queue, a US/Russian keyboard and the simulated desktop.
#include "base/Defaults.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "sim/ManualMainQueue.h"
#include "sim/SimDesktop.h"
#include "sim/SimInputSources.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace murmelo::bench {

struct SwitcherServices {
    Defaults defaults;
    sim::ManualClock clock;
    sim::ManualMainQueue queue{clock};
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    sim::SimDesktop desktop;

    SwitcherServices() {
        Defaults::install(&defaults);
        Clock::install(&clock);
        MainQueue::install(&queue);
        InputSources::install(&sources);
        Workspace::install(&desktop);
        defaults.set(LayoutSwitcher::ENABLED_KEY, true);
    }
};

// The engine is the application's composition; no polish or dictation runs beside it.
struct NoPolish final : SwitcherPolish {
    void notePolishDown() override {}
    void notePolishUp() override {}
    void cancelPendingPolish(const QString&) override {}
    void noteSpaceTyped() override {}
    void notePolishLiveTyping() override {}
    void auditUndoEdit(const AXElementPtr&, const DeliveryRepair::EditPacket&, quint64) override {}
};
struct NoDictation final : SwitcherDictation {
    bool isRecording() override { return false; }
    void stopRecording() override {}
};

// The median, p99 and worst of the samples (µs), as the benchmark's counters.
inline void reportLatency(benchmark::State& state, std::vector<double>& samplesUs) {
    std::sort(samplesUs.begin(), samplesUs.end());
    state.counters["median_us"] = samplesUs[samplesUs.size() / 2];
    state.counters["p99_us"] = samplesUs[samplesUs.size() * 99 / 100];
    state.counters["max_us"] = samplesUs.back();
}

}  // namespace murmelo::bench
