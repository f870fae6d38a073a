// The trigram score runs for candidate readings of every word while the user types: it must
// stay far below the time between two key presses (target: under 2 µs a word).
#include "base/DevPaths.h"
#include "layout/NgramModel.h"

#include <benchmark/benchmark.h>

using namespace murmelo;

namespace {

const NgramModel& model(const char* language) {
    static const NgramModel en =
        *NgramModel::load(murmeloSourceRoot() + QStringLiteral("/resources/layout-models/en.json"));
    static const NgramModel ru =
        *NgramModel::load(murmeloSourceRoot() + QStringLiteral("/resources/layout-models/ru.json"));
    return QLatin1String(language) == QLatin1String("en") ? en : ru;
}

// A word and its reading on the other layout, as the switcher scores them.
void scoreWords(benchmark::State& state, const char* language, const QStringList& words) {
    const NgramModel& m = model(language);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.score(words[i]));
        i = (i + 1) % words.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_NgramScoreRussian(benchmark::State& state) {
    scoreWords(state, "ru",
               {QStringLiteral("привет"), QStringLiteral("руддщ"), QStringLiteral("Достопримечательность"),
                QStringLiteral("и"), QStringLiteral("клавиатура"), QStringLiteral("ьфсщыч")});
}
BENCHMARK(BM_NgramScoreRussian);

void BM_NgramScoreEnglish(benchmark::State& state) {
    scoreWords(state, "en",
               {QStringLiteral("hello"), QStringLiteral("ghbdtn"), QStringLiteral("Internationalization"),
                QStringLiteral("a"), QStringLiteral("keyboard's"), QStringLiteral("rkfdbfnehf")});
}
BENCHMARK(BM_NgramScoreEnglish);

// Both models are read on the main thread when the switcher starts, before the first key.
void BM_NgramLoadBoth(benchmark::State& state) {
    for (auto _ : state)
        for (const char* code : {"en", "ru"})
            benchmark::DoNotOptimize(NgramModel::load(murmeloSourceRoot() + QStringLiteral("/resources/layout-models/") +
                                                      QLatin1String(code) + QStringLiteral(".json")));
}
BENCHMARK(BM_NgramLoadBoth)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
