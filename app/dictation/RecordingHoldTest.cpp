#include "dictation/RecordingHold.h"

#include "TestEnvironment.h"
#include "base/Log.h"
#include "dictation/DictationSeam.h"
#include "dictation/Recordings.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace murmelo;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

struct HoldTest : ::testing::Test {
    test::TestEnvironment env;
    HoldTest() { RecordingHold::resetForTesting(); }
    ~HoldTest() override { RecordingHold::resetForTesting(); }

    // A file in the temporary folder last written `age` seconds before the clock's now.
    QString file(const QString& name, double age = 0, const QByteArray& content = "RIFF") {
        const QString path = Folders::join(Folders::temporary(), name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        f.close();
        setAge(path, age);
        return path;
    }
    void setAge(const QString& path, double age) {
        const qint64 ms = Clock::shared().now().toMSecsSinceEpoch() - qint64(age * 1000);
        const struct timeval t[2] = {{ms / 1000, (ms % 1000) * 1000}, {ms / 1000, (ms % 1000) * 1000}};
        utimes(QFile::encodeName(path).constData(), t);
    }
    QStringList tmpNames() const {
        // The test log lives there too.
        QStringList names = QDir(Folders::temporary()).entryList(QDir::Files).filter(QRegularExpression("^murmelo_[a-z]+_|^other"));
        names.sort();
        return names;
    }
};

}  // namespace

TEST_F(HoldTest, TheWindowSetting) {
    struct Case {
        const char* name;
        std::optional<QVariant> stored;
        double seconds;
    };
    const std::vector<Case> cases{
        {"absent", std::nullopt, 3600},
        {"a number", QVariant(120), 120},
        {"a real", QVariant(90.5), 90.5},
        {"zero switches holding off", QVariant(0), 0},
        {"negative acts as zero", QVariant(-5), 0},
        {"a text acts as absent", QVariant(QStringLiteral("600")), 3600},
        // Beyond whole 64-bit seconds the number is out of range: the default, logged.
        {"out of range", QVariant(5e24), 3600},
        {"far negative acts as zero", QVariant(-5e24), 0},
    };
    for (const Case& c : cases) {
        env.defaults().remove(RecordingHold::KEY);
        if (c.stored) env.defaults().set(RecordingHold::KEY, *c.stored);
        EXPECT_EQ(RecordingHold::seconds(), c.seconds) << c.name;
    }
    EXPECT_EQ(env.logLines().filter(QStringLiteral("настройки: число в ключе ") + RecordingHold::KEY +
                                    QStringLiteral(" вне допустимого диапазона")).size(), 1);
}

TEST_F(HoldTest, HoldingRenamesInPlaceKeepingTheTimeAndReplacingAnOlderHeldFile) {
    EXPECT_EQ(RecordingHold::heldName("/tmp/murmelo_rec_1700_3.wav"), "murmelo_hold_1700_3.wav");
    EXPECT_EQ(RecordingHold::heldName("/x/other.wav"), "murmelo_hold_other.wav");

    const QString rec = file("murmelo_rec_1700_3.wav", 100, "first");
    chmod(QFile::encodeName(rec).constData(), 0644);
    const auto held = RecordingHold::hold(rec);
    ASSERT_TRUE(held);
    EXPECT_EQ(QFileInfo(*held).fileName(), "murmelo_hold_1700_3.wav");
    EXPECT_FALSE(QFile::exists(rec));
    EXPECT_EQ(modeOf(*held), 0600u);
    EXPECT_EQ(QFileInfo(*held).lastModified().toSecsSinceEpoch(), Clock::shared().now().toSecsSinceEpoch() - 100);

    // The same name again replaces the older held file.
    file("murmelo_rec_1700_3.wav", 0, "second");
    ASSERT_TRUE(RecordingHold::hold(Folders::join(Folders::temporary(), "murmelo_rec_1700_3.wav")));
    QFile f(*held);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "second");

    // Nothing held: a window of 0, or no recording.
    const QString other = file("murmelo_rec_1800_4.wav");
    EXPECT_EQ(RecordingHold::hold(other, Folders::temporary(), 0.0), std::nullopt);
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_EQ(RecordingHold::hold(Folders::join(Folders::temporary(), "murmelo_rec_gone.wav")), std::nullopt);
}

TEST_F(HoldTest, ListingAndSweepingTouchOnlyHeldFiles) {
    file("murmelo_hold_a.wav", 3599);
    file("murmelo_hold_b.wav", 3601);
    file("murmelo_hold_c.wav", 10);
    file("murmelo_rec_d.wav", 99999);
    file("murmelo_hold_e.txt", 99999);
    file("other.wav", 99999);
    const QString dir = Folders::temporary();
    QStringList held;
    for (const QString& p : RecordingHold::held(dir)) held << QFileInfo(p).fileName();
    EXPECT_EQ(held, (QStringList{"murmelo_hold_c.wav", "murmelo_hold_a.wav", "murmelo_hold_b.wav"}));

    EXPECT_EQ(RecordingHold::sweep(dir, Clock::shared().now(), 3600), 1);
    EXPECT_EQ(tmpNames(), (QStringList{"murmelo_hold_a.wav", "murmelo_hold_c.wav", "murmelo_hold_e.txt",
                                       "murmelo_rec_d.wav", "other.wav"}));
    // At quit every held file goes.
    EXPECT_EQ(RecordingHold::sweep(dir, Clock::shared().now(), 0), 2);
    EXPECT_EQ(tmpNames(), (QStringList{"murmelo_hold_e.txt", "murmelo_rec_d.wav", "other.wav"}));
    EXPECT_EQ(RecordingHold::sweep(Folders::join(dir, "missing"), Clock::shared().now(), 0), 0);
}

TEST_F(HoldTest, TheJanitorSweepsAtLaunchWithALineAndThenEveryMinuteWithTheWindowReadAfresh) {
    file("murmelo_hold_old1.wav", 4000);
    file("murmelo_hold_old2.wav", 5000);
    file("murmelo_hold_new.wav", 3000);
    RecordingHold::startJanitor();
    EXPECT_TRUE(env.logLines().last().endsWith("записи: подметено 2 удержанных дольше 3600 с (окно отката)"));
    EXPECT_EQ(tmpNames(), QStringList{"murmelo_hold_new.wav"});
    RecordingHold::startJanitor();  // once per process

    env.defaults().set(RecordingHold::KEY, 100);
    const int lines = int(env.logLines().size());
    env.advance(59);
    EXPECT_EQ(tmpNames(), QStringList{"murmelo_hold_new.wav"});
    env.advance(1);
    EXPECT_TRUE(tmpNames().isEmpty());
    file("murmelo_hold_later.wav", 50);
    env.advance(60);  // 110 s old now
    EXPECT_TRUE(tmpNames().isEmpty());
    EXPECT_EQ(int(env.logLines().size()), lines);  // the timer's sweeps are silent
}

TEST_F(HoldTest, KeepingMovesIntoTheOwnerOnlyFolderAndNeverOverAnotherRecording) {
    EXPECT_EQ(Recordings::dir(), Folders::join(Log::dir(), "recordings"));
    const QString first = file("murmelo_rec_1_1.wav", 0, "first take");
    const auto kept = Recordings::keep(first);
    ASSERT_TRUE(kept);
    EXPECT_EQ(QFileInfo(*kept).fileName(), "rec-" + QString::number(Clock::shared().now().toMSecsSinceEpoch()) + ".wav");
    EXPECT_EQ(modeOf(Recordings::dir()), 0700u);
    EXPECT_EQ(modeOf(*kept), 0600u);
    EXPECT_FALSE(QFile::exists(first));

    // A second take within the same millisecond: the move fails, the first kept file stays
    // whole, and the settling falls back to holding.
    env.defaults().set(Recordings::KEY, true);
    const QString second = file("murmelo_rec_1_2.wav", 0, "second take");
    EXPECT_EQ(Recordings::keep(second), std::nullopt);
    EXPECT_TRUE(QFile::exists(second));
    QFile f(*kept);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "first take");
    const auto settled = settleRecording(second);
    ASSERT_TRUE(settled);
    EXPECT_EQ(QFileInfo(*settled).fileName(), "murmelo_hold_1_2.wav");

    env.advance(0.001);
    EXPECT_TRUE(settleRecording(file("murmelo_rec_1_3.wav", 0, "third")).value_or("").contains("/recordings/rec-"));
    const Recordings::Summary s = Recordings::summary();
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.bytes, qint64(strlen("first take") + strlen("third")));

    // Neither kept nor held: deleted.
    env.defaults().set(Recordings::KEY, false);
    env.defaults().set(RecordingHold::KEY, 0);
    const QString fourth = file("murmelo_rec_1_4.wav");
    EXPECT_EQ(settleRecording(fourth), std::nullopt);
    EXPECT_FALSE(QFile::exists(fourth));
}

TEST_F(HoldTest, KeepingFromAnotherFileSystemCopiesWholeAndKeepsTheTime) {
    // The temporary folder is often a memory file system apart from the logs.
    struct stat shm {}, logs {};
    QDir().mkpath(Log::dir());
    if (stat("/dev/shm", &shm) != 0 || stat(QFile::encodeName(Log::dir()).constData(), &logs) != 0 ||
        shm.st_dev == logs.st_dev || access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second file system to move from";
    const QString source = "/dev/shm/murmelo_rec_keeptest_" + QString::number(getpid()) + ".wav";
    QByteArray content(300000, 'x');
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    setAge(source, 30);
    const auto kept = Recordings::keep(source);
    ASSERT_TRUE(kept);
    EXPECT_FALSE(QFile::exists(source));
    QFile f(*kept);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), content);
    EXPECT_EQ(modeOf(*kept), 0600u);
    EXPECT_EQ(QFileInfo(*kept).lastModified().toSecsSinceEpoch(), Clock::shared().now().toSecsSinceEpoch() - 30);
    // The same millisecond again: refused, the source left in place.
    {
        QFile again(source);
        ASSERT_TRUE(again.open(QIODevice::WriteOnly));
        again.write("other");
    }
    EXPECT_EQ(Recordings::keep(source), std::nullopt);
    EXPECT_TRUE(QFile::exists(source));
    QFile::remove(source);
}

TEST_F(HoldTest, TheSeamStartsTheJanitorAndClearsEveryHeldFileAtQuit) {
    DictationSeam seam;
    file("murmelo_hold_old.wav", 7200);
    file("murmelo_hold_new.wav", 10);
    seam.recordingHoldStartJanitor();
    EXPECT_EQ(tmpNames(), QStringList{"murmelo_hold_new.wav"});
    seam.recordingHoldSweepAll();
    EXPECT_TRUE(tmpNames().isEmpty());
}
