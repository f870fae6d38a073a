// Meeting audio on the test desktop's sound server: what is played into the speakers
// ("sys_out") and spoken into the FIFO microphone comes back in the two meeting files.
#include "meetings/MeetingChannel.h"
#include "meetings/SystemAudioTap.h"

#include "DesktopHarness.h"
#include "dictation/Wav.h"
#include "linux/PulseAudioInput.h"
#include "platform/QtMainQueue.h"
#include "platform/Service.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

using namespace murmelo;

namespace {

// Two seconds of tones that never repeat within a search window, fading in and out, below
// 1 kHz: the monitor runs at 48 kHz, so the recording may sit a third of a sample off the
// 16 kHz grid, which higher tones would feel.
std::vector<qint16> testSignal() {
    std::vector<qint16> s(32000);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / 16000.0;
        const double envelope = std::sin(M_PI * t / 2.0) * (0.6 + 0.4 * std::sin(2 * M_PI * 1.7 * t));
        const double v = std::sin(2 * M_PI * 220 * t) + 0.7 * std::sin(2 * M_PI * 530 * t) + 0.5 * std::sin(2 * M_PI * 910 * t);
        s[i] = qint16(std::lround(9000 * envelope * v));
    }
    return s;
}

std::vector<qint16> samplesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray d = f.readAll();
    const auto range = wavPCM16PayloadRange(d);
    std::vector<qint16> s;
    if (!range) return s;
    for (qsizetype at = range->start; at + 1 < range->end; at += 2) s.push_back(qFromLittleEndian<qint16>(d.constData() + at));
    return s;
}

// The best normalised correlation of the signal with the recording, over the lags around
// where the recording's sound begins.
double bestCorrelation(const std::vector<qint16>& signal, const std::vector<qint16>& recorded) {
    size_t onset = 0;
    while (onset < recorded.size() && std::abs(recorded[onset]) < 200) ++onset;
    size_t signalOnset = 0;
    while (signalOnset < signal.size() && std::abs(signal[signalOnset]) < 200) ++signalOnset;
    double best = 0;
    for (long lag = long(onset) - long(signalOnset) - 400; lag <= long(onset) - long(signalOnset) + 400; ++lag) {
        if (lag < 0 || size_t(lag) + signal.size() > recorded.size()) continue;
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < signal.size(); ++i) {
            const double x = signal[i], y = recorded[size_t(lag) + i];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best;
}

struct DesktopMeetingAudio : ::testing::Test {
    QtMainQueue queue;
    ScopedService<MainQueue> queueInstalled{static_cast<MainQueue&>(queue)};
    std::unique_ptr<linuxdesktop::PulseAudioInput> input;
    std::unique_ptr<ScopedService<AudioInput>> inputInstalled;
    QTemporaryDir dir;

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("MURMELO_MIC_FIFO"))
            GTEST_SKIP() << "needs the test desktop's sound server (scripts/desktop-session)";
        input = std::make_unique<linuxdesktop::PulseAudioInput>();
        ASSERT_TRUE(input->connect());
        inputInstalled = std::make_unique<ScopedService<AudioInput>>(static_cast<AudioInput&>(*input));
    }
};

}  // namespace

TEST_F(DesktopMeetingAudio, WhatTheSpeakersPlayAndTheMicrophoneHearsReachesTheFiles) {
    EXPECT_EQ(MeetingChannel::inputVolumePercent(), 100);
    MeetingError error;
    SystemAudioTap tap;
    std::atomic<MeetingChannel*> systemTarget{nullptr};
    ASSERT_TRUE(tap.start(
        [&](const float* s, size_t n) {
            if (auto* c = systemTarget.load()) c->push(s, n / size_t(c->inputFormat().channels));
        },
        &error))
        << error.description.toStdString();
    ASSERT_EQ(tap.format(), (AudioFormat{48000, 2}));
    auto system = MeetingChannel::create("система", dir.filePath("system.wav"), *tap.format(), &error);
    ASSERT_TRUE(system);
    systemTarget = system.get();

    AudioCaptureFailure failure;
    auto micCapture = input->makeFloatCapture(AudioSource::defaultInput, &failure, nullptr);
    ASSERT_TRUE(micCapture);
    auto mic = MeetingChannel::create("микрофон", dir.filePath("mic.wav"), micCapture->format(), &error);
    ASSERT_TRUE(mic);
    ASSERT_TRUE(micCapture->start([&](const float* s, size_t n) { mic->push(s, n / size_t(mic->inputFormat().channels)); },
                                  &failure, nullptr));
    system->start();
    mic->start();

    const std::vector<qint16> signal = testSignal();
    const QString played = dir.filePath("played.wav");
    {
        QFile f(played);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // Half a second of silence first: a null sink that was idle renders the first
        // milliseconds of a new stream before its monitor hears them.
        const QByteArray lead(16000, '\0');
        f.write(wavHeader(lead.size() + qint64(signal.size()) * 2));
        f.write(lead);
        f.write(reinterpret_cast<const char*>(signal.data()), qint64(signal.size()) * 2);
    }
    std::thread speaker([&] { test::speakIntoMicrophone(signal); });
    QProcess paplay;
    paplay.start("paplay", {"--device=sys_out", played});
    const bool playedAll = test::waitUntil([&] { return paplay.state() == QProcess::NotRunning; }, 60);
    speaker.join();
    // What the server still holds for either stream reaches the files within a few drains. The
    // monitor runs on; the FIFO microphone delivers only what was written into it.
    const double systemSoFar = system->writer().seconds();
    test::waitUntil([&] { return system->writer().seconds() > systemSoFar + 0.6 && mic->writer().seconds() >= 2.0; }, 30);
    tap.stop();
    micCapture->stop();
    system->finish();
    mic->finish();
    ASSERT_TRUE(playedAll);
    EXPECT_EQ(paplay.exitCode(), 0) << paplay.readAllStandardError().toStdString();

    EXPECT_GE(bestCorrelation(signal, samplesOf(dir.filePath("system.wav"))), 0.99);
    EXPECT_GE(bestCorrelation(signal, samplesOf(dir.filePath("mic.wav"))), 0.99);
}
