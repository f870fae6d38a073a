#include "dictation/Recorder.h"

#include "TestEnvironment.h"
#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationSeam.h"
#include "dictation/Wav.h"
#include "platform/Folders.h"
#include "platform/Service.h"
#include "sim/SimAudioInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace murmelo;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<qint16> payloadSamples(const QByteArray& wav) {
    std::vector<qint16> out;
    if (const auto r = wavPCM16PayloadRange(wav))
        for (qsizetype at = r->start; at + 1 < r->end; at += 2) out.push_back(qFromLittleEndian<qint16>(wav.constData() + at));
    return out;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

struct RecorderFixture : ::testing::Test {
    test::TestEnvironment env;
    sim::SimAudioInput mic;
    ScopedService<AudioInput> micInstalled{mic};
    std::unique_ptr<Recorder> rec = std::make_unique<Recorder>();

    ~RecorderFixture() override {
        rec.reset();
        forgetPrimedForDeath();
        AudioRoute::resetForTesting();
    }

    QStringList recordings() const {
        return QDir(Folders::temporary()).entryList(QStringList{"murmelo_rec_*.wav"}, QDir::Files, QDir::Name);
    }
    // The log without time stamps.
    QStringList lines() const {
        QStringList out;
        for (const QString& l : env.logLines()) out << l.mid(9);
        return out;
    }
};

}  // namespace

TEST_F(RecorderFixture, PrimedFileIsOwnerOnlyFreshlyNamedAndRegisteredForDeath) {
    rec->prime();
    ASSERT_TRUE(rec->primedURL());
    const QString ms = QString::number(Clock::shared().now().toMSecsSinceEpoch());
    const QString name = QFileInfo(*rec->primedURL()).fileName();
    EXPECT_TRUE(name.startsWith("murmelo_rec_" + ms + "_")) << name.toStdString();
    EXPECT_EQ(QFileInfo(*rec->primedURL()).absolutePath(), QFileInfo(Folders::temporary()).absoluteFilePath());
    EXPECT_EQ(modeOf(*rec->primedURL()), 0600u);
    EXPECT_EQ(primedPathForDeath(), rec->primedURL());

    // Priming again with an object in place changes nothing; a rebuild within the same
    // millisecond still gets a name of its own.
    const QString first = *rec->primedURL();
    rec->prime();
    EXPECT_EQ(rec->primedURL(), first);
    rec->forceRebuild();
    ASSERT_TRUE(rec->primedURL());
    EXPECT_NE(*rec->primedURL(), first);
    const auto seqOf = [](const QString& p) { return QFileInfo(p).completeBaseName().section('_', 3).toULongLong(); };
    EXPECT_EQ(seqOf(*rec->primedURL()), seqOf(first) + 1);
    // The rebuilt-away file stays for the sweep; the registry names the new one.
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_EQ(primedPathForDeath(), rec->primedURL());
}

TEST_F(RecorderFixture, ThreeSecondTakeOfATestWavGivesTheFileLevelsAndTrim) {
    // A test WAV: 1 s of a quiet tone, 1 s of a loud one, 1 s of a full-scale square wave.
    std::vector<qint16> played;
    for (int i = 0; i < 48000; ++i) {
        const double t = double(i) / 16000;
        if (i < 16000) played.push_back(qint16(std::lround(3276.7 * std::sin(2 * M_PI * 440 * t))));
        else if (i < 32000) played.push_back(qint16(std::lround(16383.5 * std::sin(2 * M_PI * 220 * t))));
        else played.push_back((i / 40) % 2 ? qint16(-32768) : qint16(32767));
    }
    QByteArray wav = wavHeader(qint64(played.size() * 2));
    for (qint16 s : played) {
        char b[2];
        qToLittleEndian<qint16>(s, b);
        wav.append(b, 2);
    }
    const QString source = Folders::join(env.root(), "speech.wav");
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wav);
    }
    ASSERT_TRUE(mic.playWavFile(source));

    rec->prime();
    rec->start();
    EXPECT_TRUE(rec->isRecording());
    EXPECT_EQ(primedPathForDeath(), std::nullopt);  // being recorded: not deleted at death
    env.advance(1.5);
    EXPECT_GT(rec->currentLevel(), 0.5);  // the loud tone
    env.advance(1.5);
    const auto take = rec->stop();
    ASSERT_TRUE(take);
    EXPECT_DOUBLE_EQ(take->dur, 3.0);
    EXPECT_FALSE(rec->hasRecorder());
    EXPECT_FALSE(rec->startTime());
    EXPECT_EQ(rec->currentLevel(), 0.0);

    EXPECT_TRUE(wavIsComplete(take->url));
    EXPECT_EQ(modeOf(take->url), 0600u);
    const QByteArray recorded = readAll(take->url);
    EXPECT_EQ(recorded, wav);
    const AudioLevels levels = audioLevels(recorded);
    EXPECT_FLOAT_EQ(levels.peak, 1.0f);
    EXPECT_NEAR(levels.mean, (0.1 * 2 / M_PI + 0.5 * 2 / M_PI + 1.0) / 3, 0.001);
    const auto trimmed = trimWavToSeconds(recorded, 2.0);
    ASSERT_TRUE(trimmed);
    EXPECT_EQ(trimmed->size(), 44 + 64000);
    EXPECT_EQ(payloadSamples(*trimmed), std::vector<qint16>(played.begin(), played.begin() + 32000));
    // Waiting for the file costs nothing: the header is final at the stop.
    bool ready = false;
    whenWavReady(take->url, [&] { ready = true; });
    EXPECT_TRUE(ready);
}

TEST_F(RecorderFixture, StartWithoutAPrimedObjectPrimesAndStarts) {
    rec->start();
    ASSERT_TRUE(rec->isRecording());
    ASSERT_TRUE(rec->activeURL());
    EXPECT_EQ(rec->activeURL(), rec->primedURL());
    EXPECT_EQ(mic.capturesStarted(), 1);
    env.advance(0.25);
    const auto take = rec->stop();
    ASSERT_TRUE(take);
    EXPECT_EQ(payloadSamples(readAll(take->url)).size(), 4000u);
    // The next press primes again with a fresh name.
    rec->start();
    EXPECT_NE(*rec->activeURL(), take->url);
}

TEST_F(RecorderFixture, RefusedRecordRebuildsOnceAndTriesAgain) {
    struct Case {
        const char* name;
        int refusals;
        bool recording;
        QString retryLine;
    };
    const std::vector<Case> cases{
        {"second attempt succeeds", 1, true, "повторный record()=true"},
        {"second attempt refused too", 2, false, "повторный record()=false"},
    };
    for (const auto& c : cases) {
        Recorder r;
        r.prime();
        const QString first = *r.primedURL();
        mic.refuseStarts = c.refusals;
        r.start();
        EXPECT_EQ(r.isRecording(), c.recording) << c.name;
        EXPECT_FALSE(QFile::exists(first)) << c.name;
        ASSERT_TRUE(r.activeURL()) << c.name;
        EXPECT_NE(*r.activeURL(), first) << c.name;
        EXPECT_EQ(primedPathForDeath(), std::nullopt) << c.name;
        const QStringList l = lines();
        ASSERT_GE(l.size(), 2) << c.name;
        EXPECT_EQ(l[l.size() - 2], "⚠ record()=false — пересобираю рекордер и повторяю старт") << c.name;
        EXPECT_EQ(l.last(), c.retryLine) << c.name;
        // The take is handed on either way; a refused one holds no samples.
        env.advance(0.1);
        const auto take = r.stop();
        ASSERT_TRUE(take) << c.name;
        EXPECT_EQ(payloadSamples(readAll(take->url)).size(), c.recording ? 1600u : 0u) << c.name;
    }
    mic.refuseStarts = 0;
}

TEST_F(RecorderFixture, FailedCreationIsLoggedAndTheNextStartPrimesAgain) {
    rec->prime();
    mic.failCaptures = 1;
    mic.captureError = "input busy";
    rec->forceRebuild();
    EXPECT_FALSE(rec->hasRecorder());
    EXPECT_FALSE(rec->primedURL());
    EXPECT_EQ(primedPathForDeath(), std::nullopt);
    EXPECT_EQ(lines().last(), "ошибка prime: input busy");
    rec->start();
    EXPECT_TRUE(rec->isRecording());

    // Creation failing twice: the start time is still set, so the stop finds no object.
    Recorder second;
    mic.failCaptures = 3;
    second.prime();
    second.start();
    EXPECT_EQ(mic.failCaptures, 0);
    EXPECT_TRUE(second.startTime());
    EXPECT_FALSE(second.stop());
    EXPECT_EQ(lines().last(), "рекордер: отдать файл нечем — рекордер отсутствует, время старта есть, файл не заведён");
}

TEST_F(RecorderFixture, DeadRouteIsRebuiltOnceThenOnlyReported) {
    // The first route hears digital zero, the rebuilt one hears the tone.
    mic.deadCaptures = 1;
    mic.playTone(300, 0.3, 5);
    rec->start();
    const QString deadFile = *rec->activeURL();
    env.advance(0.49);
    EXPECT_EQ(mic.capturesStarted(), 1);
    env.advance(0.02);
    EXPECT_EQ(mic.capturesStarted(), 2);
    EXPECT_FALSE(QFile::exists(deadFile));
    ASSERT_TRUE(rec->isRecording());
    EXPECT_NE(*rec->activeURL(), deadFile);
    EXPECT_EQ(primedPathForDeath(), rec->activeURL());  // as the restart leaves it
    const QStringList l = lines();
    ASSERT_GE(l.size(), 2);
    EXPECT_EQ(l[l.size() - 2],
              "⚠ маршрут мёртв через 0.5с (-160 дБ = цифровой ноль) — пересобираю и стартую заново, устройство: Встроенный микрофон");
    EXPECT_EQ(l.last(), "перезапуск записи на свежем маршруте: ок");
    env.advance(1.0);
    const auto take = rec->stop();
    ASSERT_TRUE(take);
    // The duration counts from the restart.
    EXPECT_NEAR(take->dur, 1.0, 0.011);
    EXPECT_GT(audioPeak(readAll(take->url)), 0.29f);

    // Both routes dead: one restart, then the second reading is only logged.
    mic.deadCaptures = 2;
    mic.device->name.reset();
    rec->start();
    env.advance(1.2);
    EXPECT_EQ(mic.capturesStarted(), 4);
    EXPECT_TRUE(rec->isRecording());
    EXPECT_EQ(lines().last(), "⚠ маршрут молчит и после пересборки — устройство ввода недоступно (устройство 73)");
    env.advance(2.0);
    EXPECT_EQ(lines().filter("маршрут молчит").size(), 1);
    EXPECT_EQ(mic.capturesStarted(), 4);
    ASSERT_TRUE(rec->stop());
}

TEST_F(RecorderFixture, LevelFollowsThePowerOfTheInput) {
    struct Case {
        const char* name;
        std::vector<qint16> samples;
        double level;
    };
    // 20·log10(103/32768) is just below -50 dB, 20·log10(104/32768) just above.
    const std::vector<Case> cases{
        {"full scale", std::vector<qint16>(800, -32768), 1.0},
        {"just below -50 dB", std::vector<qint16>(800, 103), 0.0},
        {"digital zero", std::vector<qint16>(800, 0), 0.0},
        {"-20 dB", std::vector<qint16>(800, 3277), std::pow(30.0 / 50, 1.4)},
    };
    EXPECT_EQ(rec->currentLevel(), 0.0);
    for (const auto& c : cases) {
        mic.play(c.samples);
        rec->start();
        env.advance(0.05);
        EXPECT_NEAR(rec->currentLevel(), c.level, 0.001) << c.name;
        rec->stop();
    }
    // Just above -50 dB the level is small but not 0.
    mic.play(std::vector<qint16>(800, 104));
    rec->start();
    env.advance(0.05);
    EXPECT_GT(rec->currentLevel(), 0.0);
    EXPECT_LT(rec->currentLevel(), 0.001);
}

TEST_F(RecorderFixture, DeviceChangeRebuildsOnlyWhileIdle) {
    AudioRoute::startListening([this] { rec->inputDeviceChanged(); });
    rec->prime();
    const QString idleFile = *rec->primedURL();
    mic.changeDefaultDevice(AudioInputDevice{9, QString("USB-гарнитура")});
    env.runPending();
    EXPECT_EQ(lines().last(), "аудио: устройство ввода сменилось → USB-гарнитура, пересобираю рекордер");
    ASSERT_TRUE(rec->primedURL());
    EXPECT_NE(*rec->primedURL(), idleFile);
    EXPECT_TRUE(QFile::exists(idleFile));  // left for the sweep
    EXPECT_EQ(mic.capturesMade(), 2);

    rec->start();
    const QString recording = *rec->activeURL();
    mic.changeDefaultDevice(std::nullopt);
    env.runPending();
    EXPECT_EQ(lines().last(), "аудио: устройство ввода сменилось → нет устройства, пересобираю рекордер");
    EXPECT_TRUE(rec->isRecording());
    EXPECT_EQ(rec->activeURL(), recording);
    EXPECT_EQ(mic.capturesMade(), 2);
    env.advance(0.5);
    ASSERT_TRUE(rec->stop());
    // Not replayed after the take: nothing is primed until someone asks.
    env.runPending();
    EXPECT_FALSE(rec->hasRecorder());
    EXPECT_EQ(mic.capturesMade(), 2);
}

TEST_F(RecorderFixture, DiscardDeletesOnlyAnUnusedPrimedFile) {
    rec->discardPrimedIfIdle();  // nothing primed: nothing happens
    rec->prime();
    const QString primed = *rec->primedURL();
    rec->discardPrimedIfIdle();
    EXPECT_FALSE(QFile::exists(primed));
    EXPECT_FALSE(rec->hasRecorder());
    EXPECT_EQ(primedPathForDeath(), std::nullopt);

    rec->start();
    const QString recording = *rec->activeURL();
    rec->discardPrimedIfIdle();
    EXPECT_TRUE(QFile::exists(recording));
    EXPECT_TRUE(rec->isRecording());
}

TEST_F(RecorderFixture, StopWithoutARecordingSaysWhatIsMissing) {
    EXPECT_FALSE(rec->stop());
    EXPECT_EQ(lines().last(), "рекордер: отдать файл нечем — рекордер отсутствует, время старта пусто, файл не заведён");
    rec->prime();
    EXPECT_FALSE(rec->stop());
    EXPECT_EQ(lines().last(), "рекордер: отдать файл нечем — рекордер есть, время старта пусто, файл не заведён");
    EXPECT_TRUE(rec->hasRecorder());  // left as it was
}

TEST_F(RecorderFixture, SweepDeletesDayOldRecordingsAndClosesTheRest) {
    const QString tmp = Folders::temporary();
    const qint64 now = Clock::shared().now().toSecsSinceEpoch();
    struct File {
        const char* name;
        mode_t mode;
        qint64 age;
        bool kept;
        mode_t modeAfter;
    };
    const std::vector<File> files{
        {"murmelo_rec_1_1.wav", 0600, 86401, false, 0},
        {"murmelo_rec_2_2.wav", 0644, 86401, false, 0},
        {"murmelo_rec_3_3.wav", 0644, 60, true, 0600},
        {"murmelo_rec_4_4.wav", 0640, 86399, true, 0600},
        {"murmelo_rec_5_5.wav", 0600, 60, true, 0600},
        {"murmelo_hold_6.wav", 0644, 86401 * 3, true, 0644},
        {"other.wav", 0644, 86401 * 3, true, 0644},
        {"murmelo_rec_7_7.txt", 0644, 86401 * 3, true, 0644},
    };
    for (const auto& f : files) {
        const QByteArray path = QFile::encodeName(Folders::join(tmp, f.name));
        QFile file(QString::fromUtf8(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        chmod(path.constData(), f.mode);
        const struct timeval times[2] = {{time_t(now - f.age), 0}, {time_t(now - f.age), 0}};
        utimes(path.constData(), times);
    }
    // A link under a recording's name: never followed.
    const QString victim = Folders::join(env.root(), "victim.txt");
    QFile(victim).open(QIODevice::WriteOnly);
    chmod(QFile::encodeName(victim).constData(), 0644);
    symlink(QFile::encodeName(victim).constData(), QFile::encodeName(Folders::join(tmp, "murmelo_rec_8_8.wav")).constData());

    Recorder::sweepOldRecordings();
    for (const auto& f : files) {
        const QString path = Folders::join(tmp, f.name);
        EXPECT_EQ(QFile::exists(path), f.kept) << f.name;
        if (f.kept) {
            EXPECT_EQ(modeOf(path), f.modeAfter) << f.name;
        }
    }
    EXPECT_EQ(modeOf(victim), 0644u);
    EXPECT_EQ(lines().last(), "записи: правами 0600 закрыто 2 старых файлов");

    // Nothing left to close: nothing logged.
    const int before = env.logLines().size();
    Recorder::sweepOldRecordings();
    EXPECT_EQ(env.logLines().size(), before);
}

// A killed run leaves its primed file (and a take it was recording) behind: the next
// start-up removes what was never finished, not a finished take kept for a look, nor its
// own primed file.
TEST_F(RecorderFixture, StartUpRemovesWhatEarlierRunsLeftUnfinished) {
    const QString tmp = Folders::temporary();
    struct File {
        const char* name;
        QByteArray bytes;
        bool kept;
    };
    const std::vector<File> files{
        {"murmelo_rec_1_1.wav", wavHeader(0), false},                            // primed, never used
        {"murmelo_rec_2_2.wav", wavHeader(0) + QByteArray(6400, '\x10'), false},  // cut off mid-take
        {"murmelo_rec_3_3.wav", QByteArray("RIFF"), false},                      // not even a header
        {"murmelo_rec_4_4.wav", wavHeader(6400) + QByteArray(6400, '\x10'), true},  // finished, kept its day
        {"murmelo_hold_5.wav", wavHeader(0), true},                              // held: not the recorder's
    };
    for (const File& f : files) {
        QFile file(Folders::join(tmp, f.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(f.bytes);
    }
    DictationSeam seam;
    seam.recorderPrime();
    ASSERT_TRUE(recorder().primedURL());
    const QString primed = *recorder().primedURL();
    seam.recorderSweepLeftovers();
    for (const File& f : files) EXPECT_EQ(QFile::exists(Folders::join(tmp, f.name)), f.kept) << f.name;
    EXPECT_TRUE(QFile::exists(primed));
    EXPECT_EQ(lines().last(), "записи: убрано недописанных записей прежних запусков: 3");
    seam.recorderDiscardPrimedIfIdle();
}

TEST_F(RecorderFixture, InputRouteNamesTheDeviceAndSubscribesOnce) {
    EXPECT_EQ(AudioRoute::currentInputName(), "Встроенный микрофон");
    mic.device = AudioInputDevice{41, std::nullopt};
    EXPECT_EQ(AudioRoute::currentInputName(), "устройство 41");
    mic.device.reset();
    EXPECT_EQ(AudioRoute::currentInputName(), "нет устройства");

    mic.listenerStatus = -3;
    int changes = 0;
    AudioRoute::startListening([&] { ++changes; });
    EXPECT_EQ(lines().last(), "аудио: не удалось подписаться на смену устройства ввода (-3)");
    mic.listenerStatus = 0;
    AudioRoute::startListening([&] { ++changes; });
    EXPECT_EQ(lines().last(), "аудио: слушаю смену устройства ввода, сейчас — нет устройства");
    AudioRoute::startListening([&] { ++changes; });
    EXPECT_EQ(mic.listeners(), 1);
    mic.changeDefaultDevice(AudioInputDevice{5, QString("Гарнитура")});
    EXPECT_EQ(changes, 0);  // delivered on the main queue
    env.runPending();
    EXPECT_EQ(changes, 1);
}

TEST_F(RecorderFixture, StartUpAndShutdownReachTheProcessRecorder) {
    DictationSeam seam;
    seam.recorderPrime();
    ASSERT_TRUE(recorder().primedURL());
    const QString primed = *recorder().primedURL();
    seam.audioRouteStartListening();
    EXPECT_EQ(mic.listeners(), 1);
    mic.changeDefaultDevice(AudioInputDevice{2, QString("Гарнитура")});
    env.runPending();
    ASSERT_TRUE(recorder().primedURL());
    EXPECT_NE(*recorder().primedURL(), primed);

    seam.recorderDiscardPrimedIfIdle();
    EXPECT_FALSE(recorder().hasRecorder());
    EXPECT_EQ(recordings(), QStringList{QFileInfo(primed).fileName()});
    // The file the device change left behind goes with the sweep once a day old.
    env.clock().setNow(QDateTime::currentDateTime().addSecs(86401));
    seam.recorderSweepOldRecordings();
    EXPECT_TRUE(recordings().isEmpty());
}
