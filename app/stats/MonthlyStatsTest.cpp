#include "stats/MonthlyStats.h"

#include "TestEnvironment.h"
#include "stats/MonthlyStatsStore.h"
#include "stats/StatsSeam.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class MonthlyStatsTest : public ::testing::Test {
protected:
    MonthlyStatsTest() {
        MonthlyStats::resetForTesting();
        env.clock().setNow(QDateTime(QDate(2025, 7, 10), QTime(12, 0)));
        QObject::connect(&MonthlyStatsNotifier::shared(), &MonthlyStatsNotifier::didChange, &receiver, [this] {
            ++posts;
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        });
    }
    ~MonthlyStatsTest() override { MonthlyStats::resetForTesting(); }

    // Delivers the posted notifications and answers how many arrived.
    int delivered() {
        env.runPending();
        const int n = posts;
        posts = 0;
        return n;
    }
    MonthlyStatsMonth thisMonth() { return MonthlyStats::snapshot().record; }
    void disable() { env.defaults().set(QString::fromLatin1(MonthlyStats::enabledKey), false); }

    test::TestEnvironment env;
    QObject receiver;
    int posts = 0;
    bool onMainThread = true;
};

TEST_F(MonthlyStatsTest, ATestProcessKeepsItsStatisticsInTheTemporaryFolder) {
    EXPECT_EQ(MonthlyStats::storageURL(), env.root() + QStringLiteral("/tmp/ondrix-monthly-stats.json"));
    EXPECT_EQ(MonthlyStats::store().url(), MonthlyStats::storageURL());
}

TEST_F(MonthlyStatsTest, StatisticsAreOnUnlessSwitchedOffWithARealBoolean) {
    const struct {
        const char* name;
        std::optional<QVariant> stored;
        bool on;
    } cases[] = {
        {"never written", {}, true},
        {"true", true, true},
        {"false", false, false},
        {"text", QStringLiteral("false"), true},
        {"number", 0, true},
    };
    for (const auto& c : cases) {
        env.defaults().remove(QString::fromLatin1(MonthlyStats::enabledKey));
        if (c.stored) env.defaults().set(QString::fromLatin1(MonthlyStats::enabledKey), *c.stored);
        EXPECT_EQ(MonthlyStats::enabled(), c.on) << c.name;
    }
}

TEST_F(MonthlyStatsTest, CountingCallsReachTheStoreAndNotifyOnTheMainThreadAfterwards) {
    MonthlyStats::noteQuickAction();
    EXPECT_EQ(posts, 0) << "delivered from the main queue, not inside the call";
    EXPECT_EQ(delivered(), 1);
    EXPECT_TRUE(onMainThread);

    MonthlyStats::noteQuickReply();
    MonthlyStats::noteLayoutCorrection();
    MonthlyStats::undoLayoutCorrection();
    MonthlyStats::noteMeeting(60.0, QDateTime(QDate(2025, 6, 30), QTime(23, 0)));
    MonthlyStats::noteDictation(QStringLiteral("Привет, мир!"), 3.0, 2.0, 0.5);
    MonthlyStats::noteTextCorrection(QStringLiteral("teh"), QStringLiteral("the"));
    EXPECT_EQ(delivered(), 6) << "posts are not merged";

    const MonthlyStatsMonth july = thisMonth();
    EXPECT_EQ(july.quickActions, 1);
    EXPECT_EQ(july.quickReplies, 1);
    EXPECT_EQ(july.layoutCorrections, 0);
    EXPECT_EQ(july.dictations, 1);
    EXPECT_EQ(july.dictatedCharacters, 12);
    EXPECT_EQ(july.dictatedWords, 2);
    EXPECT_EQ(july.measuredCappedSpeechWorkSeconds, 2.0);
    EXPECT_EQ(july.measuredTypoCorrections, 1);
    // A meeting counts in the month it began.
    EXPECT_EQ(july.meetingSeconds, 0.0);
    EXPECT_EQ(MonthlyStats::snapshot(QDateTime(QDate(2025, 6, 1), QTime(0, 0))).record.meetingSeconds, 60.0);
}

TEST_F(MonthlyStatsTest, CallsThatCountNothingPostNothing) {
    MonthlyStats::noteDictation(QString(), 3.0, std::nullopt);
    MonthlyStats::noteTextCorrection(QStringLiteral("same"), QStringLiteral("same"));
    EXPECT_EQ(delivered(), 0);
    EXPECT_FALSE(MonthlyStats::store().firstTrackedMonth());

    // Different texts that count nothing still post.
    MonthlyStats::noteTextCorrection(QStringLiteral("caf\u00e9"), QStringLiteral("cafe\u0301"));
    EXPECT_EQ(delivered(), 1);
    EXPECT_FALSE(thisMonth().measuredTypoCorrections);
}

TEST_F(MonthlyStatsTest, TypingCallsNotifyOnlyWhenTheStoreAskedForAWrite) {
    MonthlyStats::noteTypingGap(0.2);  // creates the month's ledger
    EXPECT_EQ(delivered(), 1);
    for (int i = 2; i <= 24; ++i) MonthlyStats::noteTypingGap(0.2);
    MonthlyStats::noteTypingGap(3.0);  // refused
    EXPECT_EQ(delivered(), 0);
    MonthlyStats::noteTypingGap(0.2);
    EXPECT_EQ(delivered(), 1);
    for (int i = 1; i <= 24; ++i) MonthlyStats::noteTypingWork(1, 1, 0, 0.2, false);
    EXPECT_EQ(delivered(), 0);
    MonthlyStats::noteTypingWork(1, 1, 0, 0.2, false);
    EXPECT_EQ(delivered(), 1);
    for (int i = 1; i <= 25; ++i) MonthlyStats::noteBenefitTypingWork(1, 1, 0, 0.2, i == 1);
    EXPECT_EQ(delivered(), 1);
}

TEST_F(MonthlyStatsTest, SwitchedOffNothingIsCountedButReadingAndErasingWork) {
    MonthlyStats::noteQuickAction();
    delivered();
    disable();
    MonthlyStats::activate();
    MonthlyStats::noteQuickAction();
    MonthlyStats::noteQuickReply();
    MonthlyStats::noteTypingGap(0.2);
    MonthlyStats::noteTypingWork(1, 1, 0, 0, true);
    MonthlyStats::noteBenefitTypingWork(1, 1, 0, 0, true);
    MonthlyStats::noteDictation(QStringLiteral("текст"), 1.0, std::nullopt);
    MonthlyStats::noteTextCorrection(QStringLiteral("a"), QStringLiteral("b"));
    MonthlyStats::noteLayoutCorrection();
    MonthlyStats::undoLayoutCorrection();
    MonthlyStats::noteMeeting(30.0, {});
    EXPECT_EQ(delivered(), 0);
    MonthlyStatsMonth expected;
    expected.quickActions = 1;
    expected.savedBenefitLedger = MonthlySavedBenefitLedger{};
    EXPECT_EQ(thisMonth(), expected);

    MonthlyStats::deleteAll();
    EXPECT_EQ(delivered(), 1);
    EXPECT_EQ(thisMonth(), MonthlyStatsMonth{});
    EXPECT_EQ(MonthlyStats::store().firstTrackedMonth(), QStringLiteral("2025-07"));

    // The write at quit happens whatever the switch says.
    StatsSeam seam;
    seam.monthlyStatsFlushNow();
    QFile file(MonthlyStats::storageURL());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(R"({"firstTrackedMonth":"2025-07","months":{},"version":6})"));
}

TEST_F(MonthlyStatsTest, SwitchingOnStartsTrackingOnce) {
    disable();
    MonthlyStats::setEnabled(true);
    EXPECT_EQ(delivered(), 1);
    EXPECT_TRUE(MonthlyStats::enabled());
    EXPECT_EQ(MonthlyStats::store().firstTrackedMonth(), QStringLiteral("2025-07"));

    env.clock().setNow(QDateTime(QDate(2025, 9, 3), QTime(9, 0)));
    MonthlyStats::setEnabled(false);
    MonthlyStats::setEnabled(true);
    EXPECT_EQ(delivered(), 2);
    EXPECT_EQ(MonthlyStats::store().firstTrackedMonth(), QStringLiteral("2025-07"));
    const MonthlyStatsSnapshot snap = MonthlyStats::snapshot();
    EXPECT_EQ(snap.trackedMonths.size(), 3u);
    EXPECT_TRUE(snap.canGoBack);
    EXPECT_FALSE(snap.canGoForward);
}

TEST_F(MonthlyStatsTest, TheQuitSeamCreatesTheStoreAndWritesTheFile) {
    ASSERT_FALSE(QFile::exists(MonthlyStats::storageURL()));
    StatsSeam seam;
    seam.monthlyStatsFlushNow();
    QFile file(MonthlyStats::storageURL());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object()["version"].toInt(), 6);
}

}  // namespace
