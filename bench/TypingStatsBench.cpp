// What one user key press costs the typing statistics: the event tap calls them for every key
// on the main thread, so the work per key has to stay small and flat however long the user
// has typed (the histogram, the month's counters and the ledger all under the store's lock).
#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyStats.h"
#include "stats/MonthlyStatsStore.h"
#include "stats/TypingStats.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace murmelo;

namespace {

// Letters and spaces with a Delete now and then; the clock is the real one, so pauses are
// whatever the loop takes (all inside one burst).
void BM_TypingStatsNote(benchmark::State& state) {
    QTemporaryDir dir;  // the store reads and would write only here
    Folders::overrideRoot(dir.path());
    MonthlyStats::resetForTesting();
    TypingStats::resetForTesting();
    // A month that already has a typing speed and a long history of keys.
    for (int i = 0; i < state.range(0); ++i) MonthlyStats::noteTypingGap(0.05 + (i % 50) * 0.02);
    const qint64 keys[] = {0, 1, 2, 49, 3, 4, 51, 5};
    size_t i = 0;
    for (auto _ : state) {
        TypingStats::note(0, keys[i++ % 8], 0);
    }
    state.SetItemsProcessed(state.iterations());
    MonthlyStats::resetForTesting();
    Folders::clearOverride();
}
BENCHMARK(BM_TypingStatsNote)->Arg(0)->Arg(100000);

// One note's time, side by side: a local time (the typing notes took it so, and its
// conversion consults the time-zone files on every call) and the UTC instant the typing
// notes take now; both within the calendar day the store already worked out.
void BM_StoreNoteTime(benchmark::State& state) {
    QTemporaryDir dir;
    MonthlyStatsStore store(dir.filePath(QStringLiteral("monthly-stats.json")));
    const bool local = state.range(0) == 0;
    for (auto _ : state)
        store.noteTypingGap(0.2, local ? Clock::shared().now() : Clock::shared().nowUtc());
    state.SetLabel(local ? "local time" : "UTC instant");
    MonthlyStatsStore::waitForWrites(MonthlyStatsStore::WRITE_WAIT_MS);
}
BENCHMARK(BM_StoreNoteTime)->Arg(0)->Arg(1);

// The statistics page asks for a snapshot on every refresh: one copy per tracked month.
void BM_Snapshot(benchmark::State& state) {
    QTemporaryDir dir;
    Folders::overrideRoot(dir.path());
    MonthlyStats::resetForTesting();
    for (int i = 0; i < 1000; ++i) MonthlyStats::noteTypingGap(0.2);
    for (auto _ : state) benchmark::DoNotOptimize(MonthlyStats::snapshot());
    MonthlyStats::resetForTesting();
    Folders::clearOverride();
}
BENCHMARK(BM_Snapshot);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
