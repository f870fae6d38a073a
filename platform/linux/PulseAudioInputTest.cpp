#include "linux/PulseAudioInput.h"

#include "DesktopHarness.h"
#include "platform/QtMainQueue.h"
#include "platform/Service.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

bool pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Writes the samples into the test desktop's FIFO microphone on a thread of its own, as a
// speaker would talk while the program records.
std::thread speakIntoMicrophone(const std::vector<qint16>& samples) {
    return std::thread([samples] { test::speakIntoMicrophone(samples); });
}

// A signal with no long runs of equal samples, so that a shifted or dropped block shows.
std::vector<qint16> testSignal(size_t count, quint32 seed) {
    std::vector<qint16> s(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = qint16(int(8000 * std::sin(double(i) * 0.05)) + int(seed >> 24) - 128);
    }
    return s;
}

struct DesktopPulseAudioInput : ::testing::Test {
    QtMainQueue queue;
    ScopedService<MainQueue> queueInstalled{static_cast<MainQueue&>(queue)};
    std::unique_ptr<PulseAudioInput> input;

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("MURMELO_MIC_FIFO"))
            GTEST_SKIP() << "needs the test desktop's FIFO microphone (scripts/desktop-session)";
        input = std::make_unique<PulseAudioInput>();
        ASSERT_TRUE(input->connect());
    }
};

}  // namespace

TEST_F(DesktopPulseAudioInput, TheFifoMicrophoneIsTheDefaultInput) {
    const auto device = input->defaultInputDevice();
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->name);
    EXPECT_FALSE(device->name->isEmpty());
}

TEST_F(DesktopPulseAudioInput, ACaptureReceivesWhatWasSpokenSampleExact) {
    QString error;
    auto capture = input->makeCapture(16000, &error);
    ASSERT_TRUE(capture) << error.toStdString();
    std::mutex mutex;
    std::vector<qint16> received;
    ASSERT_TRUE(capture->start([&](const qint16* s, size_t n) {
        std::lock_guard lock(mutex);
        received.insert(received.end(), s, s + n);
    }));
    EXPECT_TRUE(capture->isRunning());
    const std::vector<qint16> spoken = testSignal(24000, 7);
    std::thread speaker = speakIntoMicrophone(spoken);
    const bool all = test::waitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return received.size() >= spoken.size();
        },
        60);
    speaker.join();
    capture->stop();
    EXPECT_FALSE(capture->isRunning());
    ASSERT_TRUE(all);
    std::lock_guard lock(mutex);
    EXPECT_EQ(received, spoken);
}

TEST_F(DesktopPulseAudioInput, AChangeOfTheDefaultSourceIsReported) {
    int changes = 0;
    ASSERT_EQ(input->addDefaultInputListener([&] { ++changes; }), 0);
    const auto before = input->defaultInputDevice();
    ASSERT_TRUE(pactl({"set-default-source", "sys_out.monitor"}));
    EXPECT_TRUE(test::waitUntil([&] { return changes == 1; }, 30));
    EXPECT_NE(input->defaultInputDevice(), before);
    ASSERT_TRUE(pactl({"set-default-source", "mic"}));
    EXPECT_TRUE(test::waitUntil([&] { return changes == 2; }, 30));
    EXPECT_EQ(input->defaultInputDevice(), before);
}
