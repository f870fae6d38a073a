#include "linux/PulseAudioInput.h"

#include "DesktopHarness.h"
#include "platform/QtMainQueue.h"
#include "platform/Service.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QProcess>
#include <gtest/gtest.h>
#include <mutex>
#include <pulse/pulseaudio.h>
#include <unistd.h>
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

// A stream of this process that connects paused (corked) and stays so.
struct CorkedStream {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;

    bool open() {
        pa_threaded_mainloop_start(loop);
        pa_threaded_mainloop_lock(loop);
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "corked test client");
        pa_context_set_state_callback(context, [](pa_context*, void* l) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0);
        }, loop);
        pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
        while (pa_context_get_state(context) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            pa_threaded_mainloop_wait(loop);
        bool ok = pa_context_get_state(context) == PA_CONTEXT_READY;
        if (ok) {
            const pa_sample_spec spec{PA_SAMPLE_S16LE, 16000, 1};
            stream = pa_stream_new(context, "paused", &spec, nullptr);
            pa_stream_set_state_callback(stream, [](pa_stream*, void* l) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0);
            }, loop);
            pa_stream_connect_playback(stream, "sys_out", nullptr, PA_STREAM_START_CORKED, nullptr, nullptr);
            while (pa_stream_get_state(stream) == PA_STREAM_CREATING) pa_threaded_mainloop_wait(loop);
            ok = pa_stream_get_state(stream) == PA_STREAM_READY;
        }
        pa_threaded_mainloop_unlock(loop);
        return ok;
    }
    ~CorkedStream() {
        pa_threaded_mainloop_stop(loop);
        if (stream) {
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_free(loop);
    }
};

// What the call-app detection starts from: a client playing into the speakers is listed with
// its process and name; a paused one is not.
TEST_F(DesktopPulseAudioInput, PlayingStreamsListThePlayersButNotThePaused) {
    CorkedStream paused;
    ASSERT_TRUE(paused.open());
    QProcess player;
    player.start(QStringLiteral("paplay"), {"--raw", "--device=sys_out", "--client-name=Meeting Player"});
    ASSERT_TRUE(player.waitForStarted(10000));
    // Silence for as long as the test needs it: the stream plays while its input stays open.
    player.write(QByteArray(44100 * 4, '\0'));
    const qint64 pid = player.processId();
    std::vector<PlayingStream> streams;
    EXPECT_TRUE(test::waitUntil([&] {
        streams = input->playingStreams();
        return std::any_of(streams.begin(), streams.end(), [&](const PlayingStream& s) { return s.pid == pid; });
    }, 30));
    for (const PlayingStream& s : streams) {
        if (s.pid == pid) {
            EXPECT_EQ(s.name, "Meeting Player");
            // paplay is pacat under another name: the binary is the file it runs.
            EXPECT_EQ(s.binary, QFileInfo(QStandardPaths::findExecutable("paplay")).canonicalFilePath().section('/', -1));
        }
        EXPECT_NE(s.pid, qint64(::getpid())) << "the paused stream is listed";
    }
    player.kill();
    player.waitForFinished(10000);
}
