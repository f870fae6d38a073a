// Meeting audio and its transcription, the parts that grow with the meeting's length:
// - the channel's conversion of 48 kHz stereo to 16 kHz mono, in the half-second blocks a
//   drain hands over; it runs beside a live call, so an hour has to convert in well under a
//   minute;
// - the speech regions of an hour-long channel (36,000 levels), read from its file;
// - stitching a two-hour channel's 136 windows, a word every 0.4 s, overlaps repeated.
#include "meetings/AudioConverter.h"
#include "meetings/MeetingSpeech.h"
#include "meetings/MeetingWindow.h"
#include "dictation/Wav.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
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

static void BM_SpeechRegionsOfAnHour(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("system.wav");
    {
        // Speech for 8 s, then 4 s of quiet, for an hour.
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        const qint64 samples = 3600LL * 16000;
        f.write(wavHeader(samples * 2));
        QByteArray block(16000 * 2, '\0');
        for (qint64 second = 0; second < 3600; ++second) {
            const bool speech = second % 12 < 8;
            for (int i = 0; i < 16000; ++i) qToLittleEndian<qint16>(speech ? qint16((i * 37) % 6000 - 3000) : 0, block.data() + 2 * i);
            f.write(block);
        }
    }
    for (auto _ : state) {
        const auto levels = MeetingSpeech::levels(path);
        benchmark::DoNotOptimize(MeetingSpeech::regions(levels));
    }
}
BENCHMARK(BM_SpeechRegionsOfAnHour)->Unit(benchmark::kMillisecond);

static void BM_StitchTwoHours(benchmark::State& state) {
    const auto windows = MeetingWindow::plan(7200.0);
    std::vector<MeetingWindow::Slot> plan;
    std::vector<std::vector<MeetingWord>> chunks;
    for (const auto& [start, end] : windows) {
        plan.push_back({start, end, !plan.empty()});
        std::vector<MeetingWord> words;
        for (double t = std::ceil(start / 0.4) * 0.4; t < end; t += 0.4)
            words.push_back({QStringLiteral("слово%1").arg(qint64(std::llround(t / 0.4))), t, t + 0.3, 0.9, QStringLiteral("ru")});
        chunks.push_back(std::move(words));
    }
    for (auto _ : state) benchmark::DoNotOptimize(MeetingWindow::stitch(chunks, plan));
}
BENCHMARK(BM_StitchTwoHours)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
