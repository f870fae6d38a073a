#include "meetings/MeetingChannel.h"
#include "meetings/MeetingWAV.h"
#include "meetings/SystemAudioTap.h"

#include "TestEnvironment.h"
#include "TestFiles.h"
#include "base/SerialQueue.h"
#include "dictation/Wav.h"
#include "sim/SimAudioInput.h"

#include <QtEndian>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace murmelo;

namespace {

quint32 u32At(const QByteArray& d, int at) { return qFromLittleEndian<quint32>(d.constData() + at); }

// The samples a file holds, read by its size as a reader of an unfinished recording does.
std::vector<qint16> samplesBySize(const QString& path) {
    const QByteArray d = test::readFile(path);
    std::vector<qint16> s;
    for (qsizetype at = 44; at + 1 < d.size(); at += 2) s.push_back(qFromLittleEndian<qint16>(d.constData() + at));
    return s;
}

std::vector<float> sine(double hz, double amplitude, double rate, double seconds, int channels, int onlyChannel = -1) {
    const size_t frames = size_t(std::llround(rate * seconds));
    std::vector<float> s(frames * size_t(channels), 0.0f);
    for (size_t j = 0; j < frames; ++j)
        for (int c = 0; c < channels; ++c)
            if (onlyChannel < 0 || c == onlyChannel)
                s[j * size_t(channels) + size_t(c)] = float(amplitude * std::sin(2 * M_PI * hz * double(j) / rate));
    return s;
}

double rms(const std::vector<qint16>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from)) / 32768.0;
}

struct MeetingAudio : ::testing::Test {
    test::TestEnvironment env;
    sim::SimAudioInput audio;
    ScopedService<AudioInput> audioScope{static_cast<AudioInput&>(audio)};

    QString file(const QString& name) const { return env.root() + "/" + name; }

    std::unique_ptr<MeetingWAV> writer(const QString& name = "mic.wav") {
        MeetingError error;
        auto w = MeetingWAV::create(file(name), 16000, 1, &error);
        EXPECT_TRUE(w) << error.description.toStdString();
        return w;
    }

    std::shared_ptr<MeetingChannel> channel(const AudioFormat& format, const QString& name = "микрофон") {
        MeetingError error;
        auto c = MeetingChannel::create(name, file(name + ".wav"), format, &error);
        EXPECT_TRUE(c) << error.description.toStdString();
        return c;
    }

    // Runs the main queue through the seconds one drain period at a time and lets the channels'
    // queues catch up after each: the drain runs on a real thread, and handing it all the audio
    // at once would overflow the ring on a loaded machine.
    void advance(double seconds) {
        for (double left = seconds; left > 1e-9; left -= MeetingChannel::DRAIN_PERIOD) {
            env.advance(std::min(left, MeetingChannel::DRAIN_PERIOD));
            MeetingChannel::queueNamed("микрофон").waitUntilIdle();
            MeetingChannel::queueNamed("система").waitUntilIdle();
        }
    }
};

TEST_F(MeetingAudio, AFileClosedAtOnceIsAnEmptyValidWav) {
    auto w = writer();
    w->close();
    const QByteArray d = test::readFile(file("mic.wav"));
    EXPECT_EQ(d, wavHeader(0, 16000, 1, 16));
    EXPECT_EQ(u32At(d, 4), 36u);
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(file("mic.wav")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(w->seconds(), 0.0);
    EXPECT_EQ(w->clipRatio(), 0.0);
}

TEST_F(MeetingAudio, TenSecondsGiveTheirSizesAndAHundredEnvelopeValues) {
    auto w = writer();
    std::vector<qint16> half(8000, 1000);
    for (int i = 0; i < 20; ++i) {
        w->append(half);
        env.clock().advance(0.5);
    }
    w->close();
    const QByteArray d = test::readFile(file("mic.wav"));
    EXPECT_EQ(u32At(d, 40), 320000u);
    EXPECT_EQ(u32At(d, 4), 320036u);
    EXPECT_EQ(d.size(), 320044);
    EXPECT_EQ(w->seconds(), 10.0);
    EXPECT_EQ(w->envelope().size(), 100u);
    EXPECT_NEAR(w->envelope().front(), 1000.0 / 32768.0, 1e-6);
}

TEST_F(MeetingAudio, ClippingCountsFullScaleOnly) {
    struct Row {
        qint16 sample;
        bool clipped;
        float peak;
    };
    for (const Row& row : {Row{-32768, true, 1.0f}, Row{32767, true, 32767.0f / 32768}, Row{-32767, true, 32767.0f / 32768},
                           Row{32766, false, 32766.0f / 32768}}) {
        auto w = writer(QString("clip%1.wav").arg(row.sample));
        w->append(std::vector<qint16>{row.sample, 0, 0, 0});
        EXPECT_EQ(w->clipRatio(), row.clipped ? 0.25 : 0.0) << row.sample;
        EXPECT_EQ(w->maxPeak(), row.peak) << row.sample;
        EXPECT_EQ(w->peakSinceLastRead(), row.peak) << row.sample;
        EXPECT_EQ(w->peakSinceLastRead(), 0.0f) << row.sample;
    }
}

TEST_F(MeetingAudio, TheEnvelopeBlockCarriesOverBetweenAppends) {
    auto w = writer();
    w->append(std::vector<qint16>(1000, 3277));
    EXPECT_TRUE(w->envelope().empty());
    w->append(std::vector<qint16>(1000, 3277));
    ASSERT_EQ(w->envelope().size(), 1u);
    // 400 samples wait in the open block; 1200 more close it.
    w->append(std::vector<qint16>(1199, 3277));
    EXPECT_EQ(w->envelope().size(), 1u);
    w->append(std::vector<qint16>(1, 3277));
    EXPECT_EQ(w->envelope().size(), 2u);
}

TEST_F(MeetingAudio, AnUnfinishedFileKeepsEverythingAndItsHeaderLagsAtMostTwoSeconds) {
    auto w = writer();
    for (int i = 0; i < 15; ++i) {
        w->append(std::vector<qint16>(8000, qint16(i)));
        env.clock().advance(0.5);
        // As a killed process leaves it: what is on disk, never closed.
        const QByteArray d = test::readFile(file("mic.wav"));
        const qint64 onDisk = d.size() - 44;
        EXPECT_EQ(onDisk, (i + 1) * 16000);
        EXPECT_LE(onDisk - qint64(u32At(d, 40)), 2 * 32000) << "after append " << i;
    }
    const auto samples = samplesBySize(file("mic.wav"));
    ASSERT_EQ(samples.size(), 15u * 8000);
    EXPECT_EQ(samples[14 * 8000], 14);
}

// Writes past the limit fail as on a full disk.
struct FileSizeLimit {
    rlimit saved{};
    sighandler_t savedHandler;
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
    }
};

TEST_F(MeetingAudio, AFailedWriteIsLoggedOnceAndTheHeaderNeverClaimsMissingAudio) {
    auto w = writer();
    {
        FileSizeLimit limit(44 + 3000);
        w->append(std::vector<qint16>(1000, 7));  // 2000 bytes fit
        w->append(std::vector<qint16>(1000, 7));  // half of it would
        w->append(std::vector<qint16>(1000, 7));
    }
    EXPECT_EQ(w->seconds(), 1000.0 / 16000);
    EXPECT_EQ(env.logText().count("⚠ встреча: запись в mic.wav не удалась"), 1);
    w->close();
    const QByteArray d = test::readFile(file("mic.wav"));
    EXPECT_EQ(u32At(d, 40), 2000u);
    EXPECT_EQ(d.size(), 44 + 2000);
    // What was handed in still counts for the measures.
    EXPECT_EQ(w->clipRatio(), 0.0);
}

TEST_F(MeetingAudio, AnExistingNameIsRefusedWithTheWritersError) {
    test::writeFile(file("mic.wav"), "keep");
    MeetingError error;
    EXPECT_FALSE(MeetingWAV::create(file("mic.wav"), 16000, 1, &error));
    EXPECT_EQ(error.domain, "MeetingWAV");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.description, "не открыть на запись: " + file("mic.wav"));
    EXPECT_EQ(test::readFile(file("mic.wav")), "keep");
}

TEST_F(MeetingAudio, SourcesOfAnyFormatBecomeSixteenKilohertzMono) {
    struct Row {
        const char* name;
        AudioFormat format;
        int onlyChannel;
        double level;  // the expected RMS share of full scale
    };
    const double a = 0.5;
    for (const Row& row : {Row{"48k stereo", {48000, 2}, -1, a / std::sqrt(2.0)},
                           Row{"48k stereo, right only", {48000, 2}, 1, a / 2 / std::sqrt(2.0)},
                           Row{"44.1k mono", {44100, 1}, -1, a / std::sqrt(2.0)},
                           Row{"16k mono", {16000, 1}, -1, a / std::sqrt(2.0)}}) {
        SCOPED_TRACE(row.name);
        auto c = channel(row.format);
        c->start();
        const auto s = sine(440, a, row.format.sampleRate, 3.0, row.format.channels, row.onlyChannel);
        // In 20 ms pieces, as a sound server hands them over.
        const size_t piece = size_t(row.format.sampleRate / 50) * size_t(row.format.channels);
        for (size_t at = 0; at < s.size(); at += piece) {
            c->push(s.data() + at, std::min(piece, s.size() - at) / size_t(row.format.channels));
            if ((at / piece) % 25 == 24) advance(0.5);
        }
        EXPECT_NEAR(c->finish(), 3.0, 0.002);
        EXPECT_NEAR(c->rawPeak(), a, 1e-3);
        const auto out = samplesBySize(file("микрофон.wav"));
        ASSERT_GE(out.size(), 40000u);
        EXPECT_NEAR(rms(out, 8000, 40000), row.level, 0.01);
        QFile::remove(file("микрофон.wav"));
    }
}

TEST_F(MeetingAudio, AChannelWithoutAudioLeavesAnEmptyFile) {
    auto c = channel({48000, 2});
    c->start();
    advance(2);
    EXPECT_EQ(c->finish(), 0.0);
    EXPECT_EQ(test::readFile(file("микрофон.wav")), wavHeader(0, 16000, 1, 16));
    EXPECT_FALSE(c->everHadSignal());
    EXPECT_FALSE(env.logContains("потеряно"));
}

TEST_F(MeetingAudio, AStalledWriterLosesWhatPassesEightSecondsAndSaysSoAtFinish) {
    auto c = channel({48000, 2});
    EXPECT_EQ(c->ringCapacity(), 48000 * 8 * 2);
    // Never started: nothing drains until finish. The eleventh piece only half fits, and none
    // of it is kept, so all of it counts as lost.
    const auto piece = sine(300, 0.3, 48000, 0.75, 2);
    for (int i = 0; i < 12; ++i) c->push(piece.data(), 36000);
    EXPECT_NEAR(c->finish(), 7.5, 0.002);
    EXPECT_TRUE(env.logContains("⚠ встреча/микрофон: потеряно 72000 кадров - поток записи не успевал за захватом"));
}

TEST_F(MeetingAudio, TheClipWarningWaitsForTenSecondsAndComesOnce) {
    auto c = channel({16000, 1}, "система");
    c->start();
    audio.inputVolume = 0.42;
    const std::vector<float> loud(16000, 1.0f);
    for (int s = 0; s < 9; ++s) {
        c->push(loud.data(), loud.size());
        advance(1.0);
    }
    EXPECT_FALSE(env.logContains("перегруз"));
    for (int s = 0; s < 5; ++s) {
        c->push(loud.data(), loud.size());
        advance(1.0);
    }
    c->finish();
    EXPECT_EQ(env.logText().count("⚠ ВСТРЕЧА/система: перегруз, 100.00% сэмплов срезано - распознавание пострадает. Убавь "
                                  "колонки или надень наушники; громкость входа сейчас 42%"),
              1);
}

TEST_F(MeetingAudio, AnUnconvertibleFormatIsRefused) {
    MeetingError error;
    EXPECT_FALSE(MeetingChannel::create("микрофон", file("m.wav"), {0, 2}, &error));
    EXPECT_EQ(error.domain, "MeetingChannel");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.description, "не собрать конвертер из 0 Гц, 2 кан.");
    EXPECT_FALSE(QFile::exists(file("m.wav")));
}

TEST_F(MeetingAudio, TheTapFailsByStepAndStopsIdempotently) {
    struct Row {
        const char* name;
        std::function<void(sim::SimAudioInput&)> arrange;
        int code;
        const char* message;
    };
    const std::vector<Row> rows{
        {"no server", [](sim::SimAudioInput& a) { a.noServer = true; }, 1, "не создать process tap ("},
        {"no output", [](sim::SimAudioInput& a) { a.noOutput = true; }, 2, "не узнать формат tap'а ("},
        {"refused", [](sim::SimAudioInput& a) { a.refuseFloatStarts = 1; }, 3, "не запустить агрегатное устройство ("},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::SimAudioInput fresh;
        ScopedService<AudioInput> scope{static_cast<AudioInput&>(fresh)};
        row.arrange(fresh);
        SystemAudioTap tap;
        MeetingError error;
        EXPECT_FALSE(tap.start([](const float*, size_t) {}, &error));
        EXPECT_EQ(error.domain, "SystemAudioTap");
        EXPECT_EQ(error.code, row.code);
        EXPECT_TRUE(error.description.startsWith(row.message)) << error.description.toStdString();
        EXPECT_EQ(fresh.floatCapturesRunning(), 0);
        tap.stop();
        tap.stop();
    }
    EXPECT_FALSE(env.logContains("tap поднят"));
}

// Half a minute of a call: the far side in 48 kHz stereo through the tap, the owner's voice in
// 48 kHz mono, both ending as 16 kHz mono files of the same length.
TEST_F(MeetingAudio, ThirtySecondsOfBothSourcesGiveTwoFilesOfThirtySeconds) {
    audio.monitorFormat = {48000, 2};
    audio.inputFormat = {48000, 1};
    audio.playFloat(AudioSource::defaultOutputMonitor, sine(200, 0.4, 48000, 30, 2));
    audio.playFloat(AudioSource::defaultInput, sine(600, 0.2, 48000, 30, 1));
    SystemAudioTap tap;
    MeetingError error;
    std::shared_ptr<MeetingChannel> system;
    ASSERT_TRUE(tap.start([&](const float* s, size_t n) { system->push(s, n / 2); }, &error)) << error.description.toStdString();
    ASSERT_TRUE(tap.format());
    system = channel(*tap.format(), "система");
    auto mic = channel(audio.inputFormat, "микрофон");
    AudioCaptureFailure failure;
    auto micCapture = audio.makeFloatCapture(AudioSource::defaultInput, &failure, nullptr);
    ASSERT_TRUE(micCapture->start([&](const float* s, size_t n) { mic->push(s, n); }, &failure, nullptr));
    system->start();
    mic->start();
    EXPECT_TRUE(env.logContains("встреча/система: tap поднят, 48000 Гц, 2 кан."));
    advance(30.0);
    tap.stop();
    micCapture->stop();
    // The last drain period has not run; finish writes it.
    EXPECT_NEAR(system->finish(), 30.0, 0.002);
    EXPECT_NEAR(mic->finish(), 30.0, 0.002);
    for (const char* name : {"система.wav", "микрофон.wav"}) {
        const QByteArray d = test::readFile(file(name));
        const auto range = wavPCM16PayloadRange(d);
        ASSERT_TRUE(range) << name;
        EXPECT_NEAR(double(range->size()) / 32000.0, 30.0, 0.002) << name;
    }
    EXPECT_EQ(tap.format(), (AudioFormat{48000, 2}));
    EXPECT_NEAR(system->rawPeak(), 0.4, 1e-3);
}

}  // namespace
