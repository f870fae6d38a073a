#include "stats/MonthlyStatsStore.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <sys/stat.h>

using namespace murmelo;

namespace {

unsigned mode(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 0777;
}

QDateTime utc(int year, int month, int day, int hour = 12, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone::utc());
}

class MonthlyStatsStoreTest : public ::testing::Test {
protected:
    MonthlyStatsStoreTest() { folder = env.root() + QStringLiteral("/data/Murmelo"); }
    ~MonthlyStatsStoreTest() override { MonthlyStatsStore::waitForWrites(MonthlyStatsStore::WRITE_WAIT_MS); }

    QString path() const { return folder + QStringLiteral("/monthly-stats.json"); }
    std::unique_ptr<MonthlyStatsStore> open() {
        return std::make_unique<MonthlyStatsStore>(path(), QTimeZone::utc());
    }
    // Lets the save delay pass and waits for the writer.
    void settle(double seconds = MonthlyStatsStore::SAVE_DELAY) {
        env.advance(seconds);
        ASSERT_TRUE(MonthlyStatsStore::waitForWrites(MonthlyStatsStore::WRITE_WAIT_MS));
    }
    void writeFile(const QByteArray& bytes) {
        QDir().mkpath(folder);
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray fileBytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QJsonObject fileJson() const { return QJsonDocument::fromJson(fileBytes()).object(); }
    QStringList badCopies() const {
        return QDir(folder).entryList(QStringList{QStringLiteral("monthly-stats.json.bad-*")}, QDir::Files);
    }
    MonthlyStatsMonth record(const MonthlyStatsStore& store, const QDateTime& at) const {
        return store.snapshot(at, at).record;
    }

    test::TestEnvironment env;
    QString folder;
};

TEST_F(MonthlyStatsStoreTest, TypingGapsAreBucketedWithinTheirRange) {
    const struct {
        const char* name;
        double seconds;
        std::optional<qint64> bucket;
    } cases[] = {
        {"too short", 0.039, {}},
        {"too long", 1.51, {}},
        {"not a number", std::nan(""), {}},
        {"shortest", 0.04, 50},
        {"half rounds up", 0.0625, 75},
        {"longest", 1.5, 1500},
    };
    for (const auto& c : cases) {
        auto store = open();
        const QDateTime at = utc(2025, 3, 4);
        const bool saved = store->noteTypingGap(c.seconds, at);
        const MonthlyStatsMonth month = record(*store, at);
        if (!c.bucket) {
            EXPECT_FALSE(saved) << c.name;
            EXPECT_TRUE(month.typingGapHistogram.empty()) << c.name;
            EXPECT_FALSE(store->firstTrackedMonth()) << c.name << ": a refused event starts no tracking";
        } else {
            EXPECT_EQ(month.typingGapHistogram, (std::map<qint64, qint64>{{*c.bucket, 1}})) << c.name;
            EXPECT_EQ(store->firstTrackedMonth(), QStringLiteral("2025-03")) << c.name;
        }
    }
}

TEST_F(MonthlyStatsStoreTest, TypingOperationsAskForAWriteEveryTwentyFifthEvent) {
    auto store = open();
    const QDateTime at = utc(2025, 3, 4);
    QList<int> saving;
    for (int i = 1; i <= 51; ++i)
        if (store->noteTypingGap(0.2, at)) saving << i;
    // The first creates the month's ledger.
    EXPECT_EQ(saving, (QList<int>{1, 25, 50}));

    saving.clear();
    for (int i = 1; i <= 26; ++i)
        if (store->noteTypingWork(1, 1, 0, 0.2, false, at)) saving << i;
    EXPECT_EQ(saving, (QList<int>{25}));
    saving.clear();
    for (int i = 1; i <= 26; ++i)
        if (store->noteBenefitTypingWork(1, 1, 0, 0.2, false, at)) saving << i;
    EXPECT_EQ(saving, (QList<int>{25}));
}

TEST_F(MonthlyStatsStoreTest, TypingWorkFeedsBothTimelinesAndTheBenefitSample) {
    auto store = open();
    const QDateTime at = utc(2025, 3, 9);
    EXPECT_FALSE(store->noteTypingWork(5, 0, 0, 1.0, true, at));
    EXPECT_FALSE(store->firstTrackedMonth());

    store->noteTypingWork(-3, 1, 2, 0.5, true, at);
    store->noteTypingWork(4, 2, -1, -7.0, false, at);
    store->noteBenefitTypingWork(3, 1, 1, 7.0, true, at);
    store->noteBenefitTypingWork(1, 1, 0, -2.0, false, at);
    const MonthlyStatsMonth m = record(*store, at);
    EXPECT_EQ(m.measuredTypingCharacters, 4);
    EXPECT_EQ(m.measuredEditingEvents, 3);
    EXPECT_EQ(m.measuredCorrectionActions, 2);
    EXPECT_EQ(m.measuredEditingSeconds, 0.5);
    EXPECT_EQ(m.measuredEditingBursts, 1);
    EXPECT_EQ(m.measuredTestTypingCharacters, m.measuredTypingCharacters);
    EXPECT_EQ(m.measuredTestEditingEvents, m.measuredEditingEvents);
    EXPECT_EQ(m.measuredTestCorrectionActions, m.measuredCorrectionActions);
    EXPECT_EQ(m.measuredTestEditingSeconds, m.measuredEditingSeconds);
    EXPECT_EQ(m.measuredTestEditingBursts, m.measuredEditingBursts);
    EXPECT_EQ(m.measuredBenefitTypingCharacters, 4);
    EXPECT_EQ(m.measuredBenefitEditingEvents, 2);
    EXPECT_EQ(m.measuredBenefitCorrectionActions, 1);
    EXPECT_EQ(m.measuredBenefitEditingSeconds, 5.0);  // the pause cap
    EXPECT_EQ(m.measuredBenefitUntimedStarts, 1);
    EXPECT_EQ(m.benefitFirstObservedDay, 9);
    EXPECT_EQ(m.benefitLastObservedDay, 9);
}

TEST_F(MonthlyStatsStoreTest, DictationsCountTheirTextAudioAndVoiceTime) {
    auto store = open();
    store->noteDictation(0, 3, 4.0, 2.0, 1.0, utc(2025, 4, 20));
    EXPECT_FALSE(store->firstTrackedMonth());

    store->noteDictation(120, 20, 4.0, 9.0, 0.5, utc(2025, 4, 20));
    store->noteDictation(30, -2, -1.0, std::nullopt, 3.0, utc(2025, 4, 3));
    store->noteDictation(60, 10, 10.0, std::nullopt, 0.0, utc(2025, 4, 20));
    const MonthlyStatsMonth m = record(*store, utc(2025, 4, 1));
    EXPECT_EQ(m.dictations, 3);
    EXPECT_EQ(m.dictatedCharacters, 210);
    EXPECT_EQ(m.dictatedWords, 30);
    EXPECT_EQ(m.dictationSeconds, 14.0);
    EXPECT_EQ(m.longestDictationCharacters, 120);
    EXPECT_EQ(m.activeDays, (std::vector<qint64>{3, 20}));
    // Speech work is never longer than the audio; dictations without it change no measure.
    EXPECT_EQ(m.measuredSpeechWorkSeconds, 4.0);
    EXPECT_EQ(m.measuredCappedSpeechWorkSeconds, 4.0);
    EXPECT_EQ(m.measuredDictatedCharacters, 120);
    EXPECT_EQ(m.measuredCappedDictationAudioSeconds, 4.0);
    EXPECT_EQ(m.measuredProcessingSeconds, 0.5);
    EXPECT_EQ(m.benefitFirstObservedDay, 20);
    // No typing speed yet: every dictation waits on its day with its voice time.
    using Pending = MonthlySavedBenefitLedger::PendingVoiceBenefit;
    EXPECT_EQ(m.savedBenefitLedger->pendingVoiceByDay,
              (std::map<qint64, Pending>{{3, {30, 0.0}}, {20, {180, 4.5 + 10.0}}}));
}

TEST_F(MonthlyStatsStoreTest, PendingDictationIsValuedOnceATypingSpeedExists) {
    auto store = open();
    const QDateTime at = utc(2025, 6, 2);
    store->noteDictation(600, 100, 20.0, std::nullopt, 0.0, at);
    ASSERT_EQ(record(*store, at).savedBenefitLedger->pendingVoiceByDay.size(), 1u);
    // Fifty pauses of 0.2 s give a speed of 300 characters per minute.
    for (int i = 0; i < 50; ++i) store->noteTypingGap(0.2, at);
    const MonthlyStatsMonth m = record(*store, at);
    EXPECT_TRUE(m.savedBenefitLedger->pendingVoiceByDay.empty());
    EXPECT_EQ(m.savedBenefitLedger->voiceSecondsByDay, (std::map<qint64, double>{{2, 100.0}}));
}

TEST_F(MonthlyStatsStoreTest, CorrectionsLayoutFixesAndOtherCounters) {
    auto store = open();
    store->noteCorrections(0, 0, 0, utc(2025, 5, 5));
    store->noteCorrections(-2, 0, 0, utc(2025, 5, 5));
    store->noteMeeting(0, utc(2025, 5, 5));
    store->noteMeeting(-3, utc(2025, 5, 5));
    store->noteMeeting(std::numeric_limits<double>::infinity(), utc(2025, 5, 5));
    EXPECT_FALSE(store->firstTrackedMonth());

    store->noteCorrections(1, 1, 0, utc(2025, 5, 5));
    store->noteCorrections(0, 0, 1, utc(2025, 5, 6));
    store->undoLayoutCorrection(utc(2025, 5, 6));
    store->noteLayoutCorrection(utc(2025, 5, 6));
    store->undoLayoutCorrection(utc(2025, 5, 6));
    store->noteQuickAction(utc(2025, 5, 7));
    store->noteQuickReply(utc(2025, 5, 7));
    store->noteMeeting(90.5, utc(2025, 5, 7));
    const MonthlyStatsMonth m = record(*store, utc(2025, 5, 1));
    EXPECT_EQ(m.measuredPunctuationCorrections, 1);
    EXPECT_EQ(m.measuredCaseCorrections, 1);
    EXPECT_EQ(m.measuredTypoCorrections, 1);
    EXPECT_EQ(m.punctuationCorrections, 0);
    EXPECT_EQ(m.savedBenefitLedger->correctionSecondsByDay, (std::map<qint64, double>{{5, 6.0}, {6, 3.0}}));
    // Undone, but the saving once booked stays.
    EXPECT_EQ(m.layoutCorrections, 0);
    EXPECT_EQ(m.savedBenefitLedger->layoutSeconds(), 3.0);
    EXPECT_EQ(m.quickActions, 1);
    EXPECT_EQ(m.quickReplies, 1);
    EXPECT_EQ(m.meetingSeconds, 90.5);

    // An undo on an empty month is still a change worth writing.
    settle();
    QFile::remove(path());
    store->undoLayoutCorrection(utc(2025, 5, 8));
    settle();
    EXPECT_TRUE(QFileInfo::exists(path()));
}

// The file is the user's to edit: counters already at the limit stay there when more comes.
TEST_F(MonthlyStatsStoreTest, CountersAtTheLimitSaturate) {
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    MonthlyStatsMonth full;
    full.dictations = full.dictatedCharacters = full.dictatedWords = max;
    full.layoutCorrections = full.quickActions = full.quickReplies = max;
    full.typingGapHistogram = {{200, max}};
    full.measuredTypingCharacters = full.measuredEditingEvents = full.measuredEditingBursts = max;
    full.measuredDictatedCharacters = full.measuredPunctuationCorrections = max;
    QJsonObject months;
    months.insert(QStringLiteral("2025-06"), *full.toJson());
    writeFile(QJsonDocument(QJsonObject{{"version", 6}, {"months", months}}).toJson());

    auto store = open();
    const QDateTime at = utc(2025, 6, 9);
    store->noteDictation(max, max, 5.0, 1.0, 0.5, at);
    store->noteDictation(10, 2, 5.0, 1.0, 0.5, at);
    store->noteLayoutCorrection(at);
    store->noteQuickAction(at);
    store->noteQuickReply(at);
    store->noteTypingGap(0.2, at);
    store->noteTypingWork(max, max, 0, 1.0, true, at);
    store->noteCorrections(max, max, max, at);
    const MonthlyStatsMonth m = record(*store, at);
    EXPECT_EQ(m.dictations, max);
    EXPECT_EQ(m.dictatedCharacters, max);
    EXPECT_EQ(m.dictatedWords, max);
    EXPECT_EQ(m.layoutCorrections, max);
    EXPECT_EQ(m.quickActions, max);
    EXPECT_EQ(m.quickReplies, max);
    EXPECT_EQ(m.typingGapHistogram.at(200), max);
    EXPECT_EQ(m.measuredTypingCharacters, max);
    EXPECT_EQ(m.measuredEditingEvents, max);
    EXPECT_EQ(m.measuredEditingBursts, max);
    EXPECT_EQ(m.measuredDictatedCharacters, max);
    EXPECT_EQ(m.measuredPunctuationCorrections, max);
}

TEST_F(MonthlyStatsStoreTest, AMonthRecordedBeforeTheLedgerGetsOneWithItsSaving) {
    MonthlyStatsMonth old;
    old.dictations = 2;
    old.dictatedCharacters = 900;
    old.dictationSeconds = 100;
    old.activeDays = {3, 11};
    old.typoCorrections = 2;
    old.layoutCorrections = 1;
    QJsonObject months;
    months.insert(QStringLiteral("2025-02"), *old.toJson());
    writeFile(QJsonDocument(QJsonObject{{"version", 5}, {"months", months}}).toJson());

    auto store = open();
    store->noteQuickAction(utc(2025, 2, 20));
    const MonthlyStatsMonth m = record(*store, utc(2025, 2, 20));
    ASSERT_TRUE(m.savedBenefitLedger);
    EXPECT_EQ(m.savedBenefitLedger->migratedCorrectionSeconds, 6.0);
    EXPECT_EQ(m.savedBenefitLedger->migratedLayoutSeconds, 3.0);
    using Pending = MonthlySavedBenefitLedger::PendingVoiceBenefit;
    EXPECT_EQ(m.savedBenefitLedger->pendingVoiceByDay, (std::map<qint64, Pending>{{11, {900, 100.0}}}));
}

TEST_F(MonthlyStatsStoreTest, WritesComeTwoSecondsAfterTheFirstChangeOwnerOnly) {
    auto store = open();
    store->noteQuickAction(utc(2025, 7, 1));
    env.advance(1.0);
    store->noteQuickReply(utc(2025, 7, 1));
    settle(0.9);
    EXPECT_FALSE(QFileInfo::exists(path())) << "not before the delay";
    settle(0.1);
    ASSERT_TRUE(QFileInfo::exists(path()));
    const QJsonObject month = fileJson()["months"].toObject()["2025-07"].toObject();
    EXPECT_EQ(month["quickActions"].toInt(), 1);
    EXPECT_EQ(month["quickReplies"].toInt(), 1) << "a change inside the delay rides along";
    EXPECT_EQ(mode(path()), 0600u);
    EXPECT_EQ(mode(folder), 0700u);
    // Nothing of the temporary file is left beside it.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("monthly-stats.json")});

    // The next change fixes the time of the next write.
    store->noteQuickAction(utc(2025, 8, 1));
    settle(1.99);
    EXPECT_FALSE(fileJson()["months"].toObject().contains("2025-08"));
    settle(0.01);
    const QJsonObject months = fileJson()["months"].toObject();
    EXPECT_TRUE(months.contains("2025-07") && months.contains("2025-08"));
}

TEST_F(MonthlyStatsStoreTest, TheFileReadsBackAsItWasWritten) {
    {
        auto store = open();
        store->activate(utc(2025, 1, 3));
        store->noteDictation(50, 8, 6.0, 3.0, 0.5, utc(2025, 1, 3));
        store->noteTypingGap(0.3, utc(2025, 3, 3));
        store->flushNow();
    }
    EXPECT_EQ(fileJson()["version"].toInt(), 6);
    EXPECT_EQ(fileJson()["firstTrackedMonth"].toString(), QStringLiteral("2025-01"));
    auto store = open();
    const MonthlyStatsSnapshot snap = store->snapshot(utc(2025, 1, 10), utc(2025, 3, 10));
    EXPECT_EQ(snap.record.dictatedCharacters, 50);
    EXPECT_EQ(snap.trackedMonths.size(), 3u);
    EXPECT_EQ(snap.trackedMonths[2].second.typingGapHistogram, (std::map<qint64, qint64>{{300, 1}}));
}

TEST_F(MonthlyStatsStoreTest, AnyStoredVersionIsReadAndWrittenBackAsTheCurrentOne) {
    QJsonObject months;
    MonthlyStatsMonth old;
    old.quickActions = 4;
    months.insert(QStringLiteral("2024-11"), *old.toJson());
    writeFile(QJsonDocument(QJsonObject{{"version", 3}, {"months", months}}).toJson());
    auto store = open();
    EXPECT_EQ(record(*store, utc(2024, 11, 1)).quickActions, 4);
    EXPECT_TRUE(badCopies().isEmpty());
    store->flushNow();
    EXPECT_EQ(fileJson()["version"].toInt(), 6);
    EXPECT_EQ(fileJson()["months"].toObject()["2024-11"].toObject()["quickActions"].toInt(), 4);
}

// A newer build's file carries members this one does not know: rewriting it as version 6
// would drop them, so it is left as it is and the refusal is said once. Erasing everything
// is the user's own choice and writes again.
TEST_F(MonthlyStatsStoreTest, AFileOfANewerVersionIsNeverRewritten) {
    MonthlyStatsMonth known;
    known.quickActions = 4;
    QJsonObject month = *known.toJson();
    month.insert(QStringLiteral("futureCounter"), 9);
    const QByteArray newer = QJsonDocument(QJsonObject{{"version", 7},
                                                       {"futureTotals", QJsonObject{{"a", 1}}},
                                                       {"months", QJsonObject{{"2024-11", month}}}})
                                 .toJson();
    writeFile(newer);
    auto store = open();
    EXPECT_EQ(record(*store, utc(2024, 11, 1)).quickActions, 4);
    store->noteQuickAction(utc(2024, 11, 2));
    settle();
    store->flushNow();
    EXPECT_EQ(fileBytes(), newer);
    EXPECT_TRUE(badCopies().isEmpty());
    EXPECT_EQ(env.logText().count(
                  QStringLiteral("статистика: файл monthly-stats.json записан более новой версией (7) — не пишу поверх него")),
              1);

    store->deleteAll(utc(2025, 5, 14));
    settle();
    EXPECT_EQ(fileJson()["version"].toInt(), 6);
}

// Temporaries left by a write that never reached its rename go at start; the file, its kept
// copies and names that only look alike stay.
TEST_F(MonthlyStatsStoreTest, StaleTemporariesOfTheFileAreSweptAtStart) {
    writeFile(R"({"version":6,"months":{}})");
    const QStringList stale{"monthly-stats.json.a1B2c3", "monthly-stats.json.ZZZZZZ"};
    const QStringList kept{"monthly-stats.json.bad-20250101-120000", "monthly-stats.json.a1B2c", "other.json.a1B2c3",
                           "monthly-stats.json.a1B2c3d"};
    for (const QString& name : stale + kept) {
        QFile f(folder + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{");
    }
    auto store = open();
    ASSERT_TRUE(MonthlyStatsStore::waitForWrites(MonthlyStatsStore::WRITE_WAIT_MS));
    QStringList left = QDir(folder).entryList(QDir::Files);
    left.sort();
    QStringList expected = kept + QStringList{"monthly-stats.json"};
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(env.logContains(QStringLiteral("статистика: убрал недописанный временный файл monthly-stats.json.a1B2c3")));
}

// A file that exists but does not decode is the user's history all the same: it is kept
// beside the new one before anything replaces it, and never deleted.
TEST_F(MonthlyStatsStoreTest, AnUnreadableFileIsKeptBeforeANewHistoryStarts) {
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"not JSON", "{\"version\":6,\"months\":{"},
        {"no months", "{\"version\":6}"},
        {"months of the wrong type", "{\"version\":6,\"months\":[]}"},
        {"no version", "{\"months\":{}}"},
        {"an undecodable month", "{\"version\":6,\"months\":{\"2025-01\":{\"dictations\":1}}}"},
        {"a mistyped first month", "{\"version\":6,\"firstTrackedMonth\":5,\"months\":{}}"},
    };
    for (const auto& c : cases) {
        QDir(folder).removeRecursively();
        writeFile(c.bytes);
        auto store = open();
        EXPECT_FALSE(store->firstTrackedMonth()) << c.name;
        ASSERT_EQ(badCopies().size(), 1) << c.name;
        EXPECT_EQ(store->keptUnreadablePath(), folder + "/" + badCopies().first()) << c.name;
        EXPECT_EQ(fileBytes(), c.bytes) << c.name << ": left in place until the next write";
        QFile kept(store->keptUnreadablePath());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.bytes) << c.name;

        store->noteQuickAction(utc(2025, 9, 1));
        store->flushNow();
        EXPECT_EQ(fileJson()["months"].toObject().keys(), QStringList{"2025-09"}) << c.name;
        EXPECT_EQ(badCopies().size(), 1) << c.name;
    }
    EXPECT_TRUE(env.logContains(QStringLiteral("статистика: файл monthly-stats.json не читается — сохранил его как ")));
}

TEST_F(MonthlyStatsStoreTest, AnEmptyOrMissingFileStartsEmptyWithoutACopy) {
    writeFile({});
    auto empty = open();
    EXPECT_FALSE(empty->firstTrackedMonth());
    QFile::remove(path());
    auto missing = open();
    EXPECT_FALSE(missing->firstTrackedMonth());
    EXPECT_TRUE(badCopies().isEmpty());
}

// Every name the copy could take this second is already used, so no copy can be made: the
// unreadable file stays as it is until one can, and is kept before the first write that
// replaces it. (The clock stands still, so the names stay the same.)
TEST_F(MonthlyStatsStoreTest, NothingIsWrittenOverAnUnreadableFileThatCouldNotBeKept) {
    const QByteArray unreadable = "{\"version\":6}";
    writeFile(unreadable);
    const QString stamp = env.clock().now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QStringList taken;
    for (int i = 1; i < 100; ++i) {
        taken << QStringLiteral("%1.bad-%2%3").arg(path(), stamp, i == 1 ? QString() : QStringLiteral("-%1").arg(i));
        QFile f(taken.last());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    auto store = open();
    EXPECT_TRUE(store->keptUnreadablePath().isEmpty());
    store->noteQuickAction(utc(2025, 9, 1));
    store->flushNow();
    store->flushNow();
    EXPECT_EQ(fileBytes(), unreadable);
    EXPECT_EQ(env.logText().count(QStringLiteral("не читается, и копию сделать не удалось — не пишу поверх него")), 1);

    QFile::remove(taken.at(41));
    store->flushNow();
    EXPECT_EQ(store->keptUnreadablePath(), taken.at(41));
    QFile kept(taken.at(41));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), unreadable);
    EXPECT_EQ(fileJson()["months"].toObject()["2025-09"].toObject()["quickActions"].toInt(), 1);
}

TEST_F(MonthlyStatsStoreTest, AFailedWriteIsLoggedAndTheNextChangeTriesAgain) {
    auto store = open();
    // A folder where the file should be: the move over it fails.
    QDir().mkpath(path());
    store->noteQuickAction(utc(2025, 9, 1));
    settle();
    EXPECT_TRUE(env.logContains(QStringLiteral("статистика: не сохранил месячные числа — monthly-stats.json: ")));
    QDir(path()).removeRecursively();
    store->noteQuickAction(utc(2025, 9, 1));
    settle();
    EXPECT_EQ(fileJson()["months"].toObject()["2025-09"].toObject()["quickActions"].toInt(), 2);
}

TEST_F(MonthlyStatsStoreTest, DeleteAllRemovesTheFileAndBringsItBackEmpty) {
    auto store = open();
    store->noteDictation(10, 2, 1.0, std::nullopt, 0.0, utc(2025, 3, 1));
    store->flushNow();
    ASSERT_TRUE(QFileInfo::exists(path()));

    store->deleteAll(utc(2025, 5, 14));
    ASSERT_TRUE(MonthlyStatsStore::waitForWrites(MonthlyStatsStore::WRITE_WAIT_MS));
    EXPECT_FALSE(QFileInfo::exists(path()));
    settle();
    EXPECT_EQ(fileBytes(), QByteArray(R"({"firstTrackedMonth":"2025-05","months":{},"version":6})"));
    EXPECT_EQ(record(*store, utc(2025, 3, 1)), MonthlyStatsMonth{});
}

TEST_F(MonthlyStatsStoreTest, TheWriteAtQuitCarriesTheNewestStateAndLaterWritesKeepIt) {
    auto store = open();
    store->noteQuickAction(utc(2025, 9, 1));   // schedules the delayed write
    store->noteQuickAction(utc(2025, 9, 1));
    store->flushNow();
    EXPECT_EQ(fileJson()["months"].toObject()["2025-09"].toObject()["quickActions"].toInt(), 2);
    settle();  // the delayed write falls due after it
    EXPECT_EQ(fileJson()["months"].toObject()["2025-09"].toObject()["quickActions"].toInt(), 2);
}

TEST_F(MonthlyStatsStoreTest, WriteAtQuitHappensWithoutChanges) {
    auto store = open();
    store->flushNow();
    EXPECT_EQ(fileBytes(), QByteArray(R"({"months":{},"version":6})"));
}

TEST_F(MonthlyStatsStoreTest, MonthKeysAndTheirDates) {
    auto store = open();
    EXPECT_EQ(store->monthKey(utc(2025, 3, 31, 23, 59)), QStringLiteral("2025-03"));
    EXPECT_EQ(store->monthKey(utc(987, 1, 2)), QStringLiteral("0987-01"));
    const struct {
        const char* key;
        std::optional<QDateTime> date;
    } cases[] = {
        {"2025-03", utc(2025, 3, 1, 0)},
        {"2025-3", utc(2025, 3, 1, 0)},
        {"2025--3", utc(2025, 3, 1, 0)},
        {"2025-x-03", utc(2025, 3, 1, 0)},
        {"2025", {}},
        {"2025-03-01", {}},
        {"2025-13", {}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(store->date(QString::fromLatin1(c.key)), c.date) << c.key;
    EXPECT_EQ(store->start(utc(2025, 3, 31, 23, 59)), utc(2025, 3, 1, 0));
}

TEST_F(MonthlyStatsStoreTest, EventsCountInTheMonthAndDayOfTheStoresCalendar) {
    // 23:30 UTC on 31 March is already 1 April in Moscow.
    MonthlyStatsStore store(path(), QTimeZone("Europe/Moscow"));
    store.noteDictation(5, 1, 1.0, std::nullopt, 0.0, utc(2025, 3, 31, 23, 30));
    const MonthlyStatsMonth april = store.snapshot(utc(2025, 4, 10), utc(2025, 4, 10)).record;
    EXPECT_EQ(april.activeDays, (std::vector<qint64>{1}));
    EXPECT_EQ(store.firstTrackedMonth(), QStringLiteral("2025-04"));

    // A day once worked out is reused for the notes within it: the last minute of a
    // Moscow day, the first of the next, and a clock set back a day still land where the
    // calendar puts them.
    for (const QDateTime& at : {utc(2025, 4, 1, 20, 59), utc(2025, 4, 1, 21, 0), utc(2025, 3, 31, 20, 59),
                                utc(2025, 4, 1, 20, 0)})
        store.noteDictation(5, 1, 1.0, std::nullopt, 0.0, at);
    EXPECT_EQ(store.snapshot(utc(2025, 4, 10), utc(2025, 4, 10)).record.activeDays, (std::vector<qint64>{1, 2}));
    EXPECT_EQ(store.snapshot(utc(2025, 3, 10), utc(2025, 4, 10)).record.activeDays, (std::vector<qint64>{31}));
}

// ---- The month snapshot

TEST_F(MonthlyStatsStoreTest, SnapshotListsTheTrackedMonthsAndWhereTheUserCanGo) {
    const QDateTime march = utc(2025, 3, 20);
    const struct {
        const char* name;
        std::optional<QString> firstTracked;
        QDateTime requested;
        std::vector<QDateTime> listed;
        bool canGoBack;
        bool canGoForward;
    } cases[] = {
        {"nothing tracked", {}, march, {utc(2025, 3, 1, 0)}, false, false},
        {"inside the range", "2025-01", utc(2025, 2, 28, 23, 59),
         {utc(2025, 1, 1, 0), utc(2025, 2, 1, 0), utc(2025, 3, 1, 0)}, true, true},
        {"the first month", "2025-01", utc(2025, 1, 31, 23, 59),
         {utc(2025, 1, 1, 0), utc(2025, 2, 1, 0), utc(2025, 3, 1, 0)}, false, true},
        {"across a year", "2024-12", march, {utc(2024, 12, 1, 0), utc(2025, 1, 1, 0), utc(2025, 2, 1, 0),
                                             utc(2025, 3, 1, 0)}, true, false},
        {"clock moved back", "2025-06", march, {}, false, false},
        {"unparsable first month", "soon", march, {utc(2025, 3, 1, 0)}, false, false},
        {"after the current month", "2025-01", utc(2025, 5, 2), {utc(2025, 1, 1, 0), utc(2025, 2, 1, 0),
                                                                  utc(2025, 3, 1, 0)}, true, false},
    };
    for (const auto& c : cases) {
        QDir(folder).removeRecursively();
        QJsonObject root{{"version", 6}, {"months", QJsonObject{}}};
        if (c.firstTracked) root.insert("firstTrackedMonth", *c.firstTracked);
        writeFile(QJsonDocument(root).toJson());
        auto store = open();
        const MonthlyStatsSnapshot snap = store->snapshot(c.requested, march);
        std::vector<QDateTime> listed;
        for (const auto& [date, month] : snap.trackedMonths) {
            listed.push_back(date);
            EXPECT_EQ(month, MonthlyStatsMonth{}) << c.name;
        }
        EXPECT_EQ(listed, c.listed) << c.name;
        EXPECT_EQ(snap.month, store->start(c.requested)) << c.name;
        EXPECT_EQ(snap.canGoBack, c.canGoBack) << c.name;
        EXPECT_EQ(snap.canGoForward, c.canGoForward) << c.name;
    }
}

TEST_F(MonthlyStatsStoreTest, SnapshotCarriesTheRecordsAndChangesNothing) {
    auto store = open();
    store->noteQuickAction(utc(2025, 1, 5));
    store->noteQuickReply(utc(2025, 3, 5));
    settle();
    const QByteArray written = fileBytes();
    const MonthlyStatsSnapshot snap = store->snapshot(utc(2025, 3, 1), utc(2025, 3, 20));
    EXPECT_EQ(snap.record.quickReplies, 1);
    ASSERT_EQ(snap.trackedMonths.size(), 3u);
    EXPECT_EQ(snap.trackedMonths[0].second.quickActions, 1);
    EXPECT_EQ(snap.trackedMonths[1].second, MonthlyStatsMonth{});
    EXPECT_EQ(store->snapshot(utc(2025, 3, 1), utc(2025, 3, 20)), snap);
    settle();
    EXPECT_EQ(fileBytes(), written);
}

}  // namespace
