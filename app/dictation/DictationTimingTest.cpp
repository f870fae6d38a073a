#include "dictation/DictationTiming.h"

#include "TestEnvironment.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationPause.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <limits>

using namespace murmelo;

namespace {

struct TimingTest : ::testing::Test {
    test::TestEnvironment env;
    DictationTiming& timing = DictationTiming::shared();

    TimingTest() {
        timing.resetForTesting();
        DictationActivity::resetForTesting();
    }
    ~TimingTest() override {
        timing.resetForTesting();
        DictationActivity::resetForTesting();
    }
    QStringList lines() const {
        QStringList out;
        for (const QString& l : env.logLines()) out << l.mid(9);
        return out;
    }
};

}  // namespace

TEST_F(TimingTest, TheLineListsTheStagesInOrderWithTheTotalFromTheRelease) {
    timing.noteKeyUp();
    env.advance(0.003);
    timing.begin();
    env.advance(0.121);
    timing.mark("хвост");
    env.advance(0.014);
    timing.mark("пауза");
    env.advance(0.5);
    timing.mark("whisper");
    timing.note("повтор");
    env.advance(0.095);
    timing.finish("вставка");
    EXPECT_EQ(lines().last(), "ждать 733 мс: очередь 3 + хвост 121 + пауза 14 + whisper 500 + вставка 95  [повтор]");
    EXPECT_FALSE(timing.isMeasuring());
    // Nothing runs any more: a stray mark or finish writes nothing.
    const int n = int(env.logLines().size());
    timing.mark("чистка");
    timing.finish("вставка");
    EXPECT_EQ(int(env.logLines().size()), n);
}

TEST_F(TimingTest, TheStartOfAMeasurement) {
    struct Case {
        const char* name;
        std::optional<double> releaseBefore;  // seconds before begin(); none: no release noted
        QString line;
    };
    const std::vector<Case> cases{
        {"a main thread 200 ms late", 0.2,
         "ждать 210 мс: очередь 200 + вставка 10  [ОЧЕРЕДЬ ГЛАВНОГО ПОТОКА 200 мс — всё это время запись ПРОДОЛЖАЛАСЬ]"},
        {"150 ms is not yet late", 0.15, "ждать 160 мс: очередь 150 + вставка 10"},
        {"no delay: no queue stage", 0.0, "ждать 10 мс: вставка 10"},
        // A dictation ended by a typed key: the measurement starts at the stop.
        {"no release noted", std::nullopt, "ждать 10 мс: вставка 10"},
    };
    for (const Case& c : cases) {
        timing.resetForTesting();
        if (c.releaseBefore) {
            timing.noteKeyUp();
            env.advance(*c.releaseBefore);
        }
        timing.begin();
        env.advance(0.01);
        timing.finish("вставка");
        EXPECT_EQ(lines().last(), c.line) << c.name;
    }
}

TEST_F(TimingTest, TheReleaseCountsOnlyWhenItIsLaterThanTheStart) {
    const QDateTime start = Clock::shared().now();
    EXPECT_EQ(timing.keyUpSince(start), std::nullopt);
    env.advance(1.5);
    timing.noteKeyUp();
    EXPECT_EQ(timing.keyUpSince(start), 1.5);
    // Left over from an earlier dictation.
    env.advance(1);
    EXPECT_EQ(timing.keyUpSince(Clock::shared().now()), std::nullopt);
    // A measurement consumes the release for the queue stage, but keeps it for the trim.
    timing.begin();
    EXPECT_EQ(timing.keyUpSince(start), 1.5);
}

TEST_F(TimingTest, AbandonDropsTheMeasurementWithoutALine) {
    timing.noteKeyUp();
    timing.begin();
    timing.mark("хвост");
    timing.abandon();
    timing.finish("вставка");
    EXPECT_TRUE(lines().filter("ждать").isEmpty());

    // Only the measurement a stop began is closed on its behalf; a newer one is left alone.
    const quint64 first = timing.begin();
    const quint64 second = timing.begin();
    EXPECT_FALSE(timing.abandonIfOpen(first));
    EXPECT_TRUE(timing.isMeasuring());
    EXPECT_TRUE(timing.abandonIfOpen(second));
    EXPECT_FALSE(timing.isMeasuring());
    EXPECT_FALSE(timing.abandonIfOpen(second));
}

TEST_F(TimingTest, TheActivityEndsWithTheMeasurementOrByTheFuse) {
    const QString fuseLine = "⚠ диктовка: заявка активности висит дольше 90 с — какой-то путь выхода её не снял. Снимаю по "
                             "предохранителю";
    DictationActivity::begin();
    EXPECT_TRUE(DictationActivity::isHeld());
    timing.begin();
    timing.finish("вставка");
    EXPECT_FALSE(DictationActivity::isHeld());

    // Forgotten: the fuse releases it with one line.
    DictationActivity::begin();
    env.advance(89.9);
    EXPECT_TRUE(DictationActivity::isHeld());
    env.advance(0.1);
    EXPECT_FALSE(DictationActivity::isHeld());
    EXPECT_EQ(lines().last(), fuseLine);

    // Two dictations within 90 s: the first fuse finds a newer claim and does nothing; the
    // second recording keeps the one activity.
    DictationActivity::begin();
    env.advance(60);
    DictationActivity::begin();
    EXPECT_EQ(DictationActivity::beginsForTesting(), 3);
    env.advance(30);
    EXPECT_TRUE(DictationActivity::isHeld());
    EXPECT_EQ(lines().filter("предохранителю").size(), 1);
    env.advance(60);
    EXPECT_FALSE(DictationActivity::isHeld());
    EXPECT_EQ(lines().filter("предохранителю").size(), 2);
}

TEST_F(TimingTest, TheActivitySettingCountsOnlyAStoredFalse) {
    struct Case {
        const char* name;
        std::optional<QVariant> stored;
        bool enabled;
    };
    const std::vector<Case> cases{
        {"absent", std::nullopt, true},
        {"true", QVariant(true), true},
        {"false", QVariant(false), false},
        {"the text \"no\"", QVariant(QStringLiteral("no")), true},
        {"the number 0", QVariant(0), true},
    };
    for (const Case& c : cases) {
        env.defaults().remove(DictationActivity::KEY);
        if (c.stored) env.defaults().set(DictationActivity::KEY, *c.stored);
        EXPECT_EQ(DictationActivity::enabled(env.defaults()), c.enabled) << c.name;
        DictationActivity::resetForTesting();
        DictationActivity::begin();
        EXPECT_EQ(DictationActivity::isHeld(), c.enabled) << c.name;
    }
}

TEST_F(TimingTest, PauseMinutesLeftRoundUp) {
    struct Case {
        const char* name;
        double secondsLeft;
        int minutes;
        bool active;
    };
    const std::vector<Case> cases{
        {"61 s", 61, 2, true},   {"60 s", 60, 1, true},       {"half a second", 0.5, 1, true},
        {"ended", -10, 0, false}, {"never set", -1e12, 0, false},
        // A stored end beyond any count of minutes an int holds.
        {"far future", 1e300, std::numeric_limits<int>::max(), true},
    };
    const double now = double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0;
    for (const Case& c : cases) {
        DictationPause::setUntil(c.secondsLeft == -1e12 ? 0 : now + c.secondsLeft);
        EXPECT_EQ(DictationPause::minutesLeft(), c.minutes) << c.name;
        EXPECT_EQ(DictationPause::isActive(), c.active) << c.name;
    }
}

TEST_F(TimingTest, PauseAndResume) {
    env.clock().setNow(QDateTime(QDate(2026, 1, 15), QTime(13, 50), Qt::LocalTime));
    DictationPause::pause(15);
    EXPECT_EQ(lines().last(), "диктовка на паузе 15 мин (до 14:05)");
    EXPECT_TRUE(DictationPause::isActive());
    EXPECT_EQ(DictationPause::minutesLeft(), 15);
    // Stored: a restart keeps it.
    EXPECT_DOUBLE_EQ(env.defaults().doubleValue(DictationPause::KEY),
                     double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0 + 900);
    env.advance(900);
    EXPECT_FALSE(DictationPause::isActive());

    DictationPause::pause(15);
    DictationPause::resume();
    EXPECT_EQ(lines().last(), "диктовка снята с паузы");
    EXPECT_FALSE(DictationPause::isActive());
    const int n = int(env.logLines().size());
    DictationPause::resume();  // nothing to end
    EXPECT_EQ(int(env.logLines().size()), n);

    // A pause of 0 minutes ends at once.
    DictationPause::pause(0);
    EXPECT_FALSE(DictationPause::isActive());
}
