// The meeting channel's conversion of 48 kHz stereo to 16 kHz mono, in the half-second blocks
// a drain hands over. It runs on a utility queue beside a live call, so an hour of audio has
// to convert in a small fraction of an hour (well under a minute).
#include "meetings/AudioConverter.h"

#include <benchmark/benchmark.h>
#include <cmath>

using namespace murmelo;

static void BM_ConvertOneHourOf48kStereo(benchmark::State& state) {
    const AudioFormat format{48000, 2};
    std::vector<float> block(24000 * 2);
    for (size_t j = 0; j < 24000; ++j) {
        block[2 * j] = float(0.3 * std::sin(2 * M_PI * 440 * double(j) / 48000));
        block[2 * j + 1] = float(0.2 * std::sin(2 * M_PI * 1200 * double(j) / 48000));
    }
    std::vector<qint16> out;
    out.reserve(9000);
    for (auto _ : state) {
        auto converter = AudioConverter::create(format, nullptr);
        for (int i = 0; i < 7200; ++i) {
            out.clear();
            converter->convert(block.data(), 24000, out, nullptr);
            benchmark::DoNotOptimize(out.data());
        }
        converter->flush(out, nullptr);
    }
    state.counters["audio_seconds_per_second"] =
        benchmark::Counter(3600.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertOneHourOf48kStereo)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
