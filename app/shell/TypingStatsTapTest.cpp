// From the user's keys on the event tap to the statistics file: physical keys are counted,
// the program's own are not, and the file holds what the month saw.
#include "shell/TypingStatsTap.h"

#include "input/GlobalEventTap.h"
#include "input/InputTestFixture.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TapFuse.h"
#include "sim/SimEventTap.h"
#include "stats/MonthlyStats.h"
#include "stats/MonthlyStatsStore.h"
#include "stats/StatsSeam.h"
#include "stats/TypingStats.h"
#include "ui/AppState.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace murmelo::test {
namespace {

class TypingStatsTapTest : public SimInputTest {
protected:
    TypingStatsTapTest() : tap(desktop) {
        AppState::shared().tapFuseItem = &fuseItem;
        TapFuse::reset();
        SwallowedKeys::reset();
        GlobalEventTap::resetForTesting();
        MonthlyStats::resetForTesting();
        TypingStats::resetForTesting();
        tap.attach(keys);
        env.clock().setNow(QDateTime(QDate(2026, 1, 15), QTime(10, 0)));
    }
    ~TypingStatsTapTest() override {
        GlobalEventTap::resetForTesting();
        TapFuse::reset();
        SwallowedKeys::reset();
        MonthlyStats::resetForTesting();
        TypingStats::resetForTesting();
        AppState::shared().tapFuseItem = nullptr;
    }

    // A physical key down and up, stamped with the monotonic clock in nanoseconds.
    void physicalKey(qint64 keyCode, const QString& chars) {
        InputEvent down;
        down.type = InputEventType::keyDown;
        down.keyCode = keyCode;
        down.unicode = chars;
        down.timestamp = quint64(Clock::shared().uptime() * 1e9);
        tap.deliver(down);
        tap.keyUp(keyCode);
        env.runPending();
    }
    QJsonObject writtenFile() {
        StatsSeam().monthlyStatsFlushNow();
        QFile file(MonthlyStats::storageURL());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    sim::SimEventTap tap;
    TypingStatsTap typingStats;
    ScopedService<EventTap> tapScope_{tap};
    ScopedService<TapTypingStats> statsScope_{typingStats};
    QAction fuseItem;
};

TEST_F(TypingStatsTapTest, TimedLettersAndADictationEndInTheFile) {
    auto field = frontField(QStringLiteral("com.example.notes"));
    ASSERT_TRUE(GlobalEventTap::installTap());
    const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    for (int i = 0; i < 26; ++i) {
        if (i > 0) env.clock().advance(0.2);
        physicalKey(i % 10, letters.mid(i, 1));
    }
    // The program's own keys are not the user's typing.
    KeyEvent own{0, true, 0, QStringLiteral("x"), SYNTHETIC_MARK};
    env.clock().advance(0.2);
    keys.post(own);
    own.keyDown = false;
    keys.post(own);
    env.runPending();
    MonthlyStats::noteDictation(QStringLiteral("Привет, мир!"), 2.5, std::nullopt);

    const QJsonObject file = writtenFile();
    EXPECT_EQ(file["version"].toInt(), 6);
    EXPECT_EQ(file["firstTrackedMonth"].toString(), QStringLiteral("2026-01"));
    const QJsonObject month = file["months"].toObject()["2026-01"].toObject();
    EXPECT_EQ(month["typingGapHistogram"].toObject(), (QJsonObject{{"200", 25}}));
    EXPECT_EQ(month["measuredTypingCharacters"].toInt(), 26);
    EXPECT_EQ(month["measuredEditingBursts"].toInt(), 1);
    EXPECT_EQ(month["dictations"].toInt(), 1);
    EXPECT_EQ(month["dictatedCharacters"].toInt(), 12);
    EXPECT_EQ(month["dictatedWords"].toInt(), 2);
    EXPECT_EQ(month["activeDays"].toArray(), (QJsonArray{15}));
    EXPECT_EQ(field->value.size(), 27);
}

TEST_F(TypingStatsTapTest, SwitchedOffStatisticsLeaveTheFileEmpty) {
    env.defaults().set(QString::fromLatin1(MonthlyStats::enabledKey), false);
    frontField(QStringLiteral("com.example.notes"));
    ASSERT_TRUE(GlobalEventTap::installTap());
    for (int i = 0; i < 30; ++i) {
        env.clock().advance(0.2);
        physicalKey(0, QStringLiteral("a"));
    }
    MonthlyStats::noteDictation(QStringLiteral("Привет, мир!"), 2.5, std::nullopt);
    const QJsonObject file = writtenFile();
    EXPECT_EQ(file, (QJsonObject{{"version", 6}, {"months", QJsonObject{}}}));
}

}  // namespace
}  // namespace murmelo::test
