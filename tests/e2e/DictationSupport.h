#pragma once
// What an end-to-end dictation test leaves behind and puts away: the recording control's state,
// a take still running, the primed recording file, the route, the timing and the activity.
// And the desk the dictation tests share, with or without the stand-in recognition server.
#include "Desk.h"
#include "LocalHttpServer.h"
#include "StandIns.h"

#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationTestSupport.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingControl.h"
#include "dictation/Wav.h"
#include "input/HotkeyDef.h"
#include "input/TapConsumers.h"
#include "platform/AudioInput.h"
#include "platform/Folders.h"
#include "platform/ModifierFlags.h"
#include "sim/SimAudioInput.h"
#include "sim/SimModifierFlags.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <QtEndian>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace murmelo::e2e {

inline void endDictations() {
    RecordingControl::resetForTesting();
    if (recorder().isRecording()) recorder().stop();
    recorder().discardPrimedIfIdle();
    forgetPrimedForDeath();
    AudioRoute::resetForTesting();
    DictationTiming::shared().resetForTesting();
    DictationActivity::resetForTesting();
}

// The desk with the session's modifiers behind its tap, a simulated microphone and the
// dictation's neighbours; recording control starts fresh, and the dictation installed before
// the test is put back after it.
class DictationFixture : public ::testing::Test {
protected:
    DictationFixture() {
        desk.tap.session = &session;
        RecordingControl::resetForTesting();
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
        resetHotkeyCacheForTesting();
    }
    ~DictationFixture() override {
        endDictations();
        TapDictation::install(previousDictation_);
    }

    Desk desk;
    sim::SimModifierFlags session;
    ScopedService<ModifierFlags> sessionScope_{session};
    sim::SimAudioInput mic;
    ScopedService<AudioInput> micScope_{mic};
    test::PolishForDictation polish;
    DictationNeighbours neighbours{polish};
    ScopedService<DictationNeighbours> neighboursScope_{neighbours};
    TapDictation* previousDictation_ = installedService<TapDictation>();
};

// A dictation desk whose recognition goes to the stand-in server at `port`; the takes a test
// records in `paths` are removed after it.
class RecognitionFixture : public DictationFixture {
protected:
    RecognitionFixture() {
        neighbours.recognitionEndpoint = [this] { return QUrl(QString("http://127.0.0.1:%1/inference").arg(port)); };
        neighbours.waitServerReady = [](double) { return false; };
    }
    ~RecognitionFixture() override {
        for (const QString& p : paths) QFile::remove(p);
    }

    // The stand-in server, answering every recording with this transcript.
    void serve(const QString& transcript) {
        const QString scripts = Folders::join(desk.env.root(), "scripts");
        QDir().mkpath(scripts);
        QFile f(scripts + "/default.txt");
        f.open(QIODevice::WriteOnly);
        f.write(transcript.toUtf8() + "\n");
        f.close();
        QFile model(Folders::join(desk.env.root(), "model.bin"));
        model.open(QIODevice::WriteOnly);
        model.write("m");
        model.close();
        port = test::freePort();
        server = std::make_unique<test::StandIn>(
            test::spawnStandIn({test::toolPath("murmelo-whisper-stand-in"), "-m", model.fileName(), "-l", "auto",
                                "--port", QString::number(port), "--script-dir", scripts}));
        ASSERT_EQ(server->readLine(), "stand-in: listening at http://127.0.0.1:" + std::to_string(port));
    }

    // A voice-like sweep (or a near-silent hum) of the given length the microphone plays.
    void play(double seconds, double amplitude = 12000) {
        QByteArray pcm;
        const int n = int(std::lround(seconds * 16000));
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / 16000;
            char b[2];
            qToLittleEndian<qint16>(qint16(std::lround(amplitude * std::sin(2 * M_PI * (180 + 40 * t) * t))), b);
            pcm.append(b, 2);
        }
        const QString path = Folders::join(desk.env.root(), "speech.wav");
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(wavHeader(pcm.size()) + pcm);
        f.close();
        ASSERT_TRUE(mic.playWavFile(path));
    }

    // Serves the queue and the events until the condition holds; false after the limit.
    bool until(const std::function<bool()>& condition, int limitMs = 20000) {
        QDeadlineTimer deadline(limitMs);
        while (!condition()) {
            if (deadline.hasExpired()) return false;
            desk.env.runPending();
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return true;
    }

    // Keeps each take's recording (removed after the test) and the visual outcome it reports.
    void recordTakes() {
        const auto builtIn = neighbours.transcribeAndPaste;
        neighbours.transcribeAndPaste = [this, builtIn](const StoppedTake& take, auto completion) {
            paths << take.path;
            builtIn(take, [this, completion](DictationVisualCompletion outcome) {
                outcomes.push_back(outcome);
                completion(outcome);
            });
        };
    }

    std::unique_ptr<test::StandIn> server;
    quint16 port = 0;
    QStringList paths;
    std::vector<DictationVisualCompletion> outcomes;
};

}  // namespace murmelo::e2e
