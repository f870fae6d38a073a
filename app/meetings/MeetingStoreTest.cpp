#include "meetings/MeetingStore.h"

#include "meetings/MeetingsSeam.h"
#include "ScopedEnv.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThreadPool>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <atomic>
#include <ctime>

namespace murmelo {
namespace {

using test::readFile;
using test::writeFile;
namespace MS = MeetingStore;

QDateTime utc(const char* text) { return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC(); }

int modeOf(const QString& path) { return int(QFileInfo(path).permissions() & 0x7777); }
constexpr int kOwnerRW = int(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
constexpr int kOwnerRWX = kOwnerRW | int(QFileDevice::ExeOwner | QFileDevice::ExeUser);

// A fresh store in a temporary home, local time fixed to Moscow (UTC+3, no summer time).
class MeetingStoreTest : public ::testing::Test {
protected:
    MeetingStoreTest() {
        ::tzset();
        MS::setRootsForTesting(root(), legacy());
    }
    ~MeetingStoreTest() override {
        MS::setRootsForTesting(std::nullopt);
        MS::setRecordingFolder(std::nullopt);
    }
    QString root() const { return env.root() + "/meetings-root"; }
    QString legacy() const { return env.root() + "/logs/meetings"; }
    QString keys(const MS::Folder& f) const {
        return QJsonDocument::fromJson(readFile(f.metaURL())).object().keys().join(',');
    }

    test::ScopedEnv tz{"TZ", QByteArray("Europe/Moscow")};
    test::ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    test::TestEnvironment env;
};

TEST_F(MeetingStoreTest, FoldersAreNamedByMinuteMadeUniqueRenamedOnceAndListedNewestFirst) {
    const QDateTime start = utc("2026-03-14T06:30:00Z");
    const auto first = MS::create(start, std::nullopt);
    const auto second = MS::create(start, std::nullopt);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->name(), "2026-03-14 09-30");
    EXPECT_EQ(second->name(), "2026-03-14 09-30 (2)");
    EXPECT_EQ(modeOf(root()), kOwnerRWX);
    EXPECT_EQ(modeOf(first->url), kOwnerRWX);
    EXPECT_EQ(modeOf(first->metaURL()), kOwnerRW);
    // Sorted, and no key for what has no value.
    EXPECT_EQ(keys(*first), "announced,audioRemoved,echoShare,micOnly,nameCandidates,notesCreated,notesOffered,"
                            "recognisedVoices,seconds,started,summaryCreated,transcribed,version,voiceNames,voices");
    EXPECT_TRUE(readFile(first->metaURL()).contains("\"started\": \"2026-03-14T06:30:00Z\""));

    const MS::Folder renamed = MS::rename(*first, QString("a/b:c"));
    EXPECT_EQ(renamed.name(), "2026-03-14 09-30 a-b-c");
    EXPECT_EQ(MS::read(renamed)->app, QString("a-b-c"));
    // Named after its application once only.
    EXPECT_EQ(MS::rename(renamed, QString("Zoom")), renamed);
    EXPECT_EQ(MS::rename(*second, QString("   ")), *second);
    EXPECT_FALSE(MS::read(*second)->app);

    writeFile(root() + "/voiceprints.json", "{}");
    QDir().mkpath(root() + "/.hidden");
    QStringList names;
    for (const auto& f : MS::all()) names << f.name();
    EXPECT_EQ(names, QStringList({"2026-03-14 09-30 a-b-c", "2026-03-14 09-30 (2)"}));
    EXPECT_TRUE(MS::all(env.root() + "/nowhere").isEmpty());

    writeFile(second->system(), QByteArray(100, 'x'));
    EXPECT_TRUE(second->hasAudio());
    EXPECT_EQ(second->audioBytes(), 100);
    EXPECT_EQ(MS::orphans().size(), 1);
    writeFile(second->transcript(), "text");
    EXPECT_TRUE(MS::orphans().isEmpty());
}

TEST_F(MeetingStoreTest, NamesAreSanitisedAndMadeUnique) {
    struct Case {
        std::optional<QString> in;
        std::optional<QString> out;
    } const cases[] = {
        {QString("a/b:c"), QString("a-b-c")},
        {QString("   "), std::nullopt},
        {std::nullopt, std::nullopt},
        {QString(60, 'z'), QString(40, 'z')},
        {QString("::"), QString("--")},
        {QString(" Microsoft Teams \n"), QString("Microsoft Teams")},
        {QString("👩‍👩‍👧") + QString(45, 'q'), QString("👩‍👩‍👧") + QString(39, 'q')},
    };
    for (const Case& c : cases) EXPECT_EQ(MS::sanitize(c.in), c.out) << c.in.value_or("<none>").toStdString();

    EXPECT_EQ(MS::folderName(utc("2026-03-14T06:30:00Z"), QString(" / ")), "2026-03-14 09-30 -");
    EXPECT_EQ(MS::folderName(utc("2026-03-14T06:30:00Z"), QString("  ")), "2026-03-14 09-30");
    const QString full = MS::unique("m", [](const QString& n) { return n == "m" || n.startsWith("m ("); });
    EXPECT_TRUE(QRegularExpression("^m \\([0-9A-F]{8}\\)$").match(full).hasMatch()) << full.toStdString();
    EXPECT_EQ(MS::unique("m", [](const QString& n) { return n == "m" || n == "m (2)"; }), "m (3)");
}

TEST_F(MeetingStoreTest, RecordsDecodeKeyByKeyAndKeepWhatTheyCouldNotRead) {
    const auto folder = MS::create(utc("2026-03-14T06:30:00Z"), QString("Zoom"));
    ASSERT_TRUE(folder);
    struct Case {
        const char* name;
        QByteArray json;
        bool reads;
    } const cases[] = {
        {"only started", R"({"started":"2026-03-14T06:30:00Z"})", true},
        {"seconds as text", R"({"started":"2026-03-14T06:30:00Z","seconds":"12","micOnly":true})", true},
        {"array", "[1]", false},
        {"not JSON", "garbage", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(folder->metaURL(), c.json);
        const auto meta = MS::read(*folder);
        ASSERT_EQ(meta.has_value(), c.reads);
        if (!meta) continue;
        EXPECT_EQ(meta->started, utc("2026-03-14T06:30:00Z"));
        EXPECT_EQ(meta->seconds, 0);
        EXPECT_EQ(meta->version, 1);
        EXPECT_FALSE(meta->app);
    }
    EXPECT_TRUE(MS::read(*folder) == std::nullopt);

    // A start with a fraction is no date here; the update that follows must not turn it into
    // the moment of the update, nor the unreadable seconds into 0.
    writeFile(folder->metaURL(), R"({"started":"2026-03-14T06:30:00.5Z","seconds":"12","app":"Zoom"})");
    const auto meta = MS::read(*folder);
    ASSERT_TRUE(meta);
    EXPECT_LE(qAbs(meta->started.secsTo(QDateTime::currentDateTimeUtc())), 5);
    MS::update(*folder, [](MS::Meta& m) { m.transcribed = true; });
    const QJsonObject stored = QJsonDocument::fromJson(readFile(folder->metaURL())).object();
    EXPECT_EQ(stored.value("started").toString(), "2026-03-14T06:30:00.5Z");
    EXPECT_EQ(stored.value("seconds").toString(), "12");
    EXPECT_TRUE(stored.value("transcribed").toBool());
    // A field set since is written as set.
    MS::update(*folder, [](MS::Meta& m) { m.seconds = 42; });
    EXPECT_EQ(QJsonDocument::fromJson(readFile(folder->metaURL())).object().value("seconds").toDouble(), 42);
    EXPECT_EQ(modeOf(folder->metaURL()), kOwnerRW);

    // No record, no update.
    QFile::remove(folder->metaURL());
    MS::update(*folder, [](MS::Meta& m) { m.transcribed = true; });
    EXPECT_FALSE(QFile::exists(folder->metaURL()));
}

TEST_F(MeetingStoreTest, DeleteMovesToTheTrashAndSaysWhetherItDid) {
    test::ScopedEnv trashHome{"XDG_DATA_HOME", (env.root() + "/xdg-data").toUtf8()};
    QDir().mkpath(env.root() + "/xdg-data");
    const auto folder = MS::create(utc("2026-03-14T06:30:00Z"), std::nullopt);
    ASSERT_TRUE(folder);
    writeFile(folder->mic(), QByteArray(1048576, 'a'));
    const MS::Deleted done = MS::deleteFolder(*folder);
    EXPECT_TRUE(done.ok);
    EXPECT_FALSE(QFileInfo::exists(folder->url));
    ASSERT_TRUE(done.trashPath);
    EXPECT_TRUE(QFileInfo(*done.trashPath + "/mic.wav").exists());
    EXPECT_TRUE(env.logContains("встреча: «2026-03-14 09-30» убрана в Корзину (1.0 МБ аудио)"));

    EXPECT_FALSE(MS::deleteFolder(*folder).ok);
    EXPECT_TRUE(env.logContains("⚠ встреча: «2026-03-14 09-30» не удалилась ("));
}

// Ages of transcribed meetings against the retention period.
TEST_F(MeetingStoreTest, SweepDropsTheAudioOfTranscribedMeetingsPastTheirPeriod) {
    const QDateTime now = utc("2026-05-01T12:00:00Z");
    struct Case {
        const char* name;
        double ageDays;
        bool transcript;
        std::optional<int> keep;
        bool dropped;
    } const cases[] = {
        {"29.9 of 30", 29.9, true, 30, false},
        {"30.0 of 30", 30.0, true, 30, true},
        {"untranscribed", 400, false, 30, false},
        {"period 0", 0.01, true, 0, true},
        {"period -1", 400, true, -1, false},
        {"future", -2, true, 0, false},
        {"default period", 31, true, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(root()).removeRecursively();
        const auto folder = MS::create(now.addMSecs(qint64(-c.ageDays * 86400000.0)), std::nullopt);
        ASSERT_TRUE(folder);
        writeFile(folder->system(), QByteArray(2048, 's'));
        if (c.transcript) writeFile(folder->transcript(), "t");
        const qint64 freed = MS::sweep(root(), now, c.keep);
        EXPECT_EQ(freed, c.dropped ? 2048 : 0);
        EXPECT_EQ(QFile::exists(folder->system()), !c.dropped);
        EXPECT_EQ(MS::read(*folder)->audioRemoved, c.dropped);
    }
    EXPECT_TRUE(env.logContains("встреча/уборка: аудио «2026-04-01 15-00» удалено по сроку (30 дней, освободилось 0.0 МБ)"));

    // The folder being recorded is left alone, whatever its files say.
    QDir(root()).removeRecursively();
    const auto live = MS::create(now.addDays(-1), std::nullopt);
    writeFile(live->mic(), "m");
    writeFile(live->transcript(), "t");
    MS::setRecordingFolder(live->url);
    EXPECT_EQ(MS::sweep(root(), now, 0), 0);
    EXPECT_TRUE(QFile::exists(live->mic()));
    MS::setRecordingFolder(std::nullopt);
    EXPECT_EQ(MS::sweep(root(), now, 0), 1);

    // No record: aged by the folder's birth, and still without a record afterwards.
    QFile::remove(live->metaURL());
    writeFile(live->mic(), "m");
    EXPECT_EQ(MS::sweep(root(), now.addYears(5), 30), 1);
    EXPECT_FALSE(QFile::exists(live->metaURL()));
}

TEST_F(MeetingStoreTest, RetentionPeriodComesFromTheSettings) {
    struct Case {
        std::optional<QVariant> stored;
        int days;
    } const cases[] = {
        {std::nullopt, 30}, {QVariant(QString("7")), 30}, {QVariant(qint64(7)), 7}, {QVariant(-1), -1}, {QVariant(0), 0},
    };
    for (const Case& c : cases) {
        if (c.stored) env.defaults().set("meetingAudioDays", *c.stored);
        else env.defaults().remove("meetingAudioDays");
        EXPECT_EQ(MS::audioDays(), c.days);
    }
}

// The older layout: flat files in the log folder.
class MigrationTest : public MeetingStoreTest {
protected:
    // 1773469800 is 2026-03-14 06:30:00 UTC.
    void layOutLegacy() {
        writeFile(legacy() + "/meeting-1773469800-mic.wav", QByteArray(44 + 64000, 'm'));
        writeFile(legacy() + "/meeting-1773469800-system.wav", QByteArray(44 + 32000, 's'));
        writeFile(legacy() + "/meeting-1773469800.md", "# transcript");
        writeFile(legacy() + "/meeting-1773480000-mic.wav", QByteArray(44 + 32000, 'm'));
        writeFile(legacy() + "/meeting-abc.md", "x");
        writeFile(legacy() + "/notes.md", "x");
    }
};

TEST_F(MigrationTest, LegacyTriosBecomeFoldersWithAPointerLeftBehind) {
    EXPECT_EQ(MS::legacyGroups({"meeting-+5.md", "meeting--mic.wav", "meeting-5x.md", "meeting-7-mic.wav", "x-7.md"}),
              (QMap<qint64, QMap<QString, QString>>{{5, {{"transcript.md", "meeting-+5.md"}}},
                                                    {7, {{"mic.wav", "meeting-7-mic.wav"}}}}));
    layOutLegacy();
    EXPECT_EQ(MS::migrate(legacy(), root()), 2);
    const MS::Folder trio(root() + "/2026-03-14 09-30");
    EXPECT_EQ(readFile(trio.transcript()), "# transcript");
    const auto meta = MS::read(trio);
    ASSERT_TRUE(meta);
    EXPECT_TRUE(meta->transcribed);
    EXPECT_FALSE(meta->micOnly);
    EXPECT_EQ(meta->seconds, 2.0);
    EXPECT_EQ(meta->started, utc("2026-03-14T06:30:00Z"));
    const auto single = MS::read(MS::Folder(root() + "/2026-03-14 12-20"));
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->micOnly);
    EXPECT_FALSE(single->transcribed);
    EXPECT_TRUE(QFile::exists(legacy() + "/meeting-abc.md"));
    EXPECT_EQ(QString::fromUtf8(readFile(legacy() + "/ГДЕ-ТЕПЕРЬ-ЗАПИСИ.txt")),
              "Записи встреч переехали 09.08.2026:\n" + root() +
                  "\n\nПричина: Logs - каталог расходных файлов, его чистят и ротируют, а записи разговоров это данные.\n");
    EXPECT_TRUE(env.logContains("встреча/переезд: перенесено записей 2, новое место " + root()));

    QFile::remove(legacy() + "/ГДЕ-ТЕПЕРЬ-ЗАПИСИ.txt");
    EXPECT_EQ(MS::migrate(legacy(), root()), 0);
    EXPECT_FALSE(QFile::exists(legacy() + "/ГДЕ-ТЕПЕРЬ-ЗАПИСИ.txt"));
    EXPECT_EQ(MS::all().size(), 2);
}

// A first attempt whose transcript failed to move left its folder with the audio and no
// record; the retry finishes that folder: one meeting stays one folder.
TEST_F(MigrationTest, ARetryFinishesTheFolderOfTheFirstAttempt) {
    writeFile(legacy() + "/meeting-1773469800.md", "# transcript");
    const MS::Folder first(root() + "/2026-03-14 09-30");
    writeFile(first.mic(), QByteArray(44 + 64000, 'm'));
    writeFile(first.system(), QByteArray(44 + 64000, 's'));
    writeFile(first.file(".migration"), "1773469800");
    // Another meeting of that minute, recorded since, is not mistaken for it.
    const MS::Folder other(root() + "/2026-03-14 09-30 (2)");
    writeFile(other.mic(), "m");

    EXPECT_EQ(MS::migrate(legacy(), root()), 1);
    QStringList names;
    for (const auto& f : MS::all()) names << f.name();
    EXPECT_EQ(names, QStringList({"2026-03-14 09-30 (2)", "2026-03-14 09-30"}));
    const auto meta = MS::read(first);
    ASSERT_TRUE(meta);
    EXPECT_TRUE(meta->transcribed);
    EXPECT_FALSE(meta->micOnly);
    EXPECT_EQ(meta->seconds, 2.0);
    EXPECT_EQ(readFile(first.transcript()), "# transcript");
    EXPECT_FALSE(QFile::exists(first.file(".migration")));
    EXPECT_FALSE(QFile::exists(other.transcript()));
}

TEST_F(MigrationTest, StartUpMigratesSweepsAndHandsOrphansToRecoveryLater) {
    layOutLegacy();
    const QDateTime now = Clock::shared().now();
    const auto old = MS::create(now.addDays(-31), QString("Zoom"));
    writeFile(old->mic(), "m");
    writeFile(old->transcript(), "t");
    const auto untranscribed = MS::create(now.addDays(-40), std::nullopt);
    writeFile(untranscribed->mic(), "m");

    std::atomic<int> recoveries{0};
    std::atomic<int> limit{0};
    MeetingsSeam seam;
    seam.meetingRecoveryRun = [&](int l) {
        limit = l;
        return ++recoveries;
    };
    ScopedService<MeetingsSeam> installed(seam);

    MS::maintain(root(), legacy());
    EXPECT_FALSE(QFile::exists(old->mic()));
    EXPECT_TRUE(QFile::exists(untranscribed->mic()));
    EXPECT_TRUE(QFile::exists(root() + "/2026-03-14 09-30/mic.wav"));
    EXPECT_TRUE(env.logContains("встреча: записей без расшифровки 2 - 2026-03-14 12-20, " + untranscribed->name()))
        << env.logText().toStdString();

    env.advance(29.9);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(recoveries, 0);
    env.advance(0.2);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(recoveries, 1);
    EXPECT_EQ(limit, 600);

    // A second run moves and deletes nothing more.
    const QStringList before = env.logLines();
    MS::maintain(root(), legacy());
    const QStringList added = env.logLines().mid(before.size());
    EXPECT_EQ(added.size(), 1);
    EXPECT_TRUE(added.value(0).contains("встреча: записей без расшифровки 2"));
}

}  // namespace
}  // namespace murmelo
