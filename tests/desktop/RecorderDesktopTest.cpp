#include "dictation/AudioRecorder.h"
#include "dictation/Wav.h"

#include "DesktopHarness.h"
#include "linux/PulseAudioInput.h"
#include "platform/Folders.h"
#include "platform/QtMainQueue.h"
#include "platform/Service.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <thread>

using namespace murmelo;

namespace {

// Speech from espeak-ng at the dictation format (through sox); none when either is missing.
std::vector<qint16> spokenPhrase(const QString& dir) {
    const QString raw = dir + "/phrase.wav", converted = dir + "/phrase16.wav";
    QProcess speak, convert;
    speak.start("espeak-ng", {"-v", "ru", "-w", raw, "Проверка записи с микрофона"});
    if (!speak.waitForFinished(30000) || speak.exitCode() != 0) return {};
    convert.start("sox", {raw, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer", converted});
    if (!convert.waitForFinished(30000) || convert.exitCode() != 0) return {};
    QFile f(converted);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray wav = f.readAll();
    std::vector<qint16> out;
    if (const auto r = wavPCM16PayloadRange(wav))
        for (qsizetype at = r->start; at + 1 < r->end; at += 2) out.push_back(qFromLittleEndian<qint16>(wav.constData() + at));
    return out;
}

std::vector<qint16> generatedPhrase() {
    std::vector<qint16> s(32000);
    quint32 seed = 11;
    for (size_t i = 0; i < s.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = qint16(int(6000 * std::sin(double(i) * 0.031) * std::sin(double(i) * 0.0007)) + int(seed >> 25) - 64);
    }
    return s;
}

using test::speakIntoMicrophone;

}  // namespace

// The dictation recorder on PulseAudio: what was spoken into the microphone is what the WAV
// file holds, sample for sample, with its final header once stopped.
TEST(DesktopRecorder, TheRecordedFileHoldsWhatWasSpokenSampleExact) {
    if (qEnvironmentVariableIsEmpty("MURMELO_MIC_FIFO"))
        GTEST_SKIP() << "needs the test desktop's FIFO microphone (scripts/desktop-session)";
    QTemporaryDir dir;
    QtMainQueue queue;
    ScopedService<MainQueue> queueInstalled{static_cast<MainQueue&>(queue)};
    linuxdesktop::PulseAudioInput pulse;
    ScopedService<AudioInput> inputInstalled{static_cast<AudioInput&>(pulse)};

    std::vector<qint16> spoken = spokenPhrase(dir.path());
    if (spoken.size() < 8000) spoken = generatedPhrase();

    const QString path = dir.path() + "/murmelo_rec_1_1.wav";
    QString error;
    auto rec = AudioRecorder::make(path, &error);
    ASSERT_TRUE(rec) << error.toStdString();
    ASSERT_TRUE(rec->record());
    std::thread speaker(speakIntoMicrophone, spoken);
    const qint64 expectedSize = 44 + qint64(spoken.size()) * 2;
    const bool all = test::waitUntil([&] { return QFileInfo(path).size() >= expectedSize; }, 60);
    speaker.join();
    rec->updateMeters();
    EXPECT_GT(rec->averagePower(0), -60.0f);
    rec->stop();
    ASSERT_TRUE(all);

    EXPECT_TRUE(wavIsComplete(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray wav = f.readAll();
    const auto range = wavPCM16PayloadRange(wav);
    ASSERT_TRUE(range);
    std::vector<qint16> recorded;
    for (qsizetype at = range->start; at + 1 < range->end; at += 2) recorded.push_back(qFromLittleEndian<qint16>(wav.constData() + at));
    EXPECT_EQ(recorded.size(), spoken.size());
    EXPECT_TRUE(recorded == spoken);
}
