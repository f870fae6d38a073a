#include "diagnostics/Health.h"

#include "TestEnvironment.h"
#include "base/Autostart.h"
#include "base/Log.h"
#include "sim/SimProcesses.h"

#include <QFile>
#include <gtest/gtest.h>
#include <limits>

using namespace murmelo;

namespace {

const QString WHISPER = QStringLiteral("/opt/murmelo/bin/whisper-server");
const QString CORRECTOR = QStringLiteral("/opt/murmelo/bin/corrector-server");
constexpr qint32 SELF = 500;

class HealthTest : public ::testing::Test {
protected:
    HealthTest() {
        Orphans::setServerPrograms({WHISPER}, {CORRECTOR});
        Health::resetForTesting();
        procs.add(SELF, 300, 310 * 1024, QStringLiteral("/opt/murmelo/bin/murmelo"));
    }
    ~HealthTest() override {
        Health::resetForTesting();
        Orphans::resetServerPrograms();
    }

    QStringList healthLines() const {
        QFile f(Health::path());
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        lines.removeLast();
        return lines;
    }
    // The records without their time stamps.
    QStringList records() const {
        QStringList out;
        for (const QString& l : healthLines()) out << l.mid(20);
        return out;
    }

    test::TestEnvironment env;
    sim::SimProcesses procs{SELF, 1000};
    ScopedService<Processes> procsScope_{procs};
};

TEST_F(HealthTest, PeriodFallsBackTo60ForMissingOrNonPositiveValues) {
    EXPECT_EQ(Health::period(), 60.0);
    for (auto [value, expected] : std::vector<std::pair<QVariant, double>>{{0, 60}, {-5, 60}, {15, 15}}) {
        env.defaults().set("healthMonitorSeconds", value);
        EXPECT_EQ(Health::period(), expected) << value.toString().toStdString();
    }
    env.defaults().set("healthMonitor", QStringLiteral("false"));  // not a Boolean: still on
    EXPECT_TRUE(Health::isEnabled());
    env.defaults().set("healthMonitor", false);
    EXPECT_FALSE(Health::isEnabled());
    Health::start();
    EXPECT_FALSE(QFile::exists(Health::path()));
    EXPECT_FALSE(env.defaults().contains("murmelo.health.lastStart"));
}

TEST_F(HealthTest, FirstStartRecordsThenPulsesEveryPeriodInVirtualTime) {
    env.defaults().set("healthMonitorSeconds", 15);
    Health::note(Health::Event::dictation);
    Health::start();
    Health::note(Health::Event::dictation);
    Health::note(Health::Event::retry);
    env.advance(15 * 8);
    const QStringList lines = healthLines();
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], "2026-01-15 10:00:00 START первый известный запуск");
    EXPECT_EQ(lines[1], "2026-01-15 10:00:00 up=0m app_mb=310 whisper_mb=0 whisper_n=0 corr_mb=0 corr_n=0 orphan_n=0 "
                        "dict=1 empty=0 lost=0 susp=0 retry=0");
    EXPECT_EQ(lines[9], "2026-01-15 10:02:00 up=2m app_mb=310 whisper_mb=0 whisper_n=0 corr_mb=0 corr_n=0 orphan_n=0 "
                        "dict=2 empty=0 lost=0 susp=0 retry=1");
    EXPECT_FALSE(env.defaults().contains("murmelo.health.quickRestarts"));
    EXPECT_EQ(Health::eventFromRaw("susp"), Health::Event::suspicious);
    EXPECT_EQ(Health::eventFromRaw("dictation"), std::nullopt);
}

TEST_F(HealthTest, QuickRestartsBuildAStreakThatRaisesTheLoopLineFromThree) {
    struct Step {
        double gapBefore;
        qint64 streak;
    };
    // Start once, then restart after each gap.
    const std::vector<Step> steps = {{30, 1}, {59.9, 2}, {10, 3}, {5, 4}, {60.0, 0}, {1, 1}};
    Health::start();
    for (const Step& s : steps) {
        Health::resetForTesting();
        env.clock().advance(s.gapBefore);
        Health::start();
        EXPECT_EQ(env.defaults().integerValue("murmelo.health.quickRestarts"), s.streak) << s.gapBefore;
        EXPECT_EQ(records().filter("START gap=").last(),
                  QStringLiteral("START gap=%1s streak=%2").arg(qint64(s.gapBefore)).arg(s.streak));
    }
    const QStringList loops = env.logLines().filter("перезапуски подряд");
    ASSERT_EQ(loops.size(), 2);  // streaks 3 and 4
    EXPECT_EQ(loops[0].mid(9), "⚠ здоровье — перезапуски подряд: 3 штук с промежутком меньше 60с (последний 10с). "
                               "Это петля автоперезапуска сеанса, а не работа человека. Проверить X-GNOME-AutoRestart в " +
                                   Autostart::legacyPlistPath() +
                                   " — там не должно быть true (починка: murmelo --migrate-autostart)");
}

// The stored values are the user's to edit: a count at the limit and a last start far in
// the future saturate instead of overflowing.
TEST_F(HealthTest, RestartCountAndGapSaturateAtTheLimits) {
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    env.defaults().set("murmelo.health.lastStart", 1e300);
    env.defaults().set("murmelo.health.quickRestarts", max);
    Health::start();
    EXPECT_EQ(env.defaults().integerValue("murmelo.health.quickRestarts"), max);
    EXPECT_EQ(records().filter("START gap=").last(),
              QStringLiteral("START gap=%1s streak=%2").arg(std::numeric_limits<qint64>::min()).arg(max));
    EXPECT_EQ(Health::nextStreak(max, 1), max);
}

TEST_F(HealthTest, PulseKillsOrphansReportsThemAndCountsOnlyThoseThatSurvive) {
    procs.add(601, SELF, 820 * 1024, WHISPER);
    procs.add(602, 1, 200 * 1024 + 512, WHISPER);     // orphan, killed
    procs.add(603, 1, 100 * 1024 + 600, CORRECTOR);   // orphan, killed
    procs.add(604, 1, 50 * 1024, CORRECTOR);          // orphan whose kill fails
    procs.add(605, 1, 70 * 1024, "/usr/bin/python3", {"/usr/bin/python3", "/srv/server.py"});  // not ours
    procs.setUnkillable(604);
    Health::pulse();
    EXPECT_EQ(env.logLines().first(), "10:00:00 уборка сирот: убрано брошенных сайдкаров 2 (pid 602, 603), освобождено "
                                      "301 МБ — родителя нет, за ними некому прийти");
    EXPECT_EQ(records(), (QStringList{"SWEEP n=2 freed_mb=301",
                                      "up=0m app_mb=310 whisper_mb=820 whisper_n=1 corr_mb=0 corr_n=0 orphan_n=1 "
                                      "dict=0 empty=0 lost=0 susp=0 retry=0",
                                      "ALARM сироты: брошенных сайдкаров 1 — они переживают перезапуски и держат "
                                      "память; разбор в app/src/Death"}));
    EXPECT_TRUE(procs.row(605));
}

// Servers of another running copy (same user, its parent alive) are not counted as ours: one
// recognition server of our own raises no "two instead of one".
TEST_F(HealthTest, OnlyTheServersThisProcessStartedAreCounted) {
    procs.add(700, 300, 100 * 1024, QStringLiteral("/opt/murmelo/bin/murmelo"));  // another copy
    procs.add(601, SELF, 820 * 1024, WHISPER);
    procs.add(602, SELF, 240 * 1024, CORRECTOR);
    procs.add(701, 700, 900 * 1024, WHISPER);
    procs.add(702, 700, 250 * 1024, CORRECTOR);
    Health::pulse();
    EXPECT_EQ(records(), QStringList{"up=0m app_mb=310 whisper_mb=820 whisper_n=1 corr_mb=240 corr_n=1 orphan_n=0 "
                                     "dict=0 empty=0 lost=0 susp=0 retry=0"});
    EXPECT_TRUE(env.logLines().filter("серверов распознавания").isEmpty());
}

TEST_F(HealthTest, AlarmsFollowTheirThresholds) {
    struct Case {
        const char* what;
        Health::Snapshot s;
        std::optional<qint64> baseline;
        QStringList keys;
    };
    const std::vector<Case> cases = {
        {"one recognition server", {.whisperN = 1}, {}, {}},
        {"two recognition servers", {.whisperMB = 900, .whisperN = 2}, {}, {"серверов распознавания"}},
        {"total exactly at the limit", {.appMB = 4000, .whisperMB = 2000, .correctorMB = 144}, {}, {}},
        {"total one above", {.appMB = 4000, .whisperMB = 2000, .correctorMB = 145}, {}, {"память"}},
        {"baseline 250, 550 now", {.appMB = 550}, 250, {"память приложения"}},
        {"baseline 250, 549 now", {.appMB = 549}, 250, {}},
        {"baseline 400, 800 now", {.appMB = 800}, 400, {"память приложения"}},
        {"baseline 400, 799 now", {.appMB = 799}, 400, {}},
        {"no baseline", {.appMB = 5000}, {}, {}},
        {"every alarm in order", {.appMB = 7000, .whisperN = 2, .orphanN = 1}, 100,
         {"сироты", "серверов распознавания", "память", "память приложения"}},
    };
    for (const Case& c : cases) {
        QStringList keys;
        for (const Health::Alarm& a : Health::alarms(c.s, c.baseline)) {
            keys << a.key;
            EXPECT_TRUE(a.text.startsWith(a.key)) << c.what;
        }
        EXPECT_EQ(keys, c.keys) << c.what;
    }
    EXPECT_EQ(Health::alarms({.appMB = 4000, .whisperMB = 2000, .correctorMB = 145}, {}).first().text,
              "память: всего 6145 МБ (приложение 4000, whisper 2000, корректор 145) — больше порога 6144 МБ");
    EXPECT_EQ(Health::alarms({.whisperMB = 900, .whisperN = 2}, {}).first().text,
              "серверов распознавания 2 вместо одного (900 МБ суммарно) — у лишних живой хозяин, уборка их не "
              "трогает");
}

TEST_F(HealthTest, ARepeatingAlarmIsThrottledByItsKeyEvenAsItsFiguresChange) {
    procs.add(601, SELF, 800 * 1024, WHISPER);
    procs.add(602, SELF, 900 * 1024, WHISPER);
    Health::start();  // pulses every 60 s
    for (int minute = 1; minute <= 16; ++minute) {
        procs.row(602)->rssKB += 1024 * minute;  // the summed figure in the text changes
        env.advance(60);
    }
    // Raised at 0 s and again at 900 s (the 15th minute), never in between.
    const QStringList raised = env.logLines().filter("серверов распознавания");
    ASSERT_EQ(raised.size(), 2);
    EXPECT_TRUE(raised[0].startsWith("10:00:00 ⚠ здоровье — серверов распознавания 2 вместо одного (1700 МБ"));
    EXPECT_TRUE(raised[1].startsWith("10:15:00 ⚠ здоровье — серверов распознавания 2 вместо одного (1820 МБ"));
    EXPECT_EQ(records().filter("ALARM").size(), 2);

    // Another key is throttled on its own.
    procs.row(SELF)->rssKB = 7000LL * 1024;
    env.advance(60);
    EXPECT_EQ(env.logLines().filter("⚠ здоровье — память: всего").size(), 1);
    EXPECT_EQ(env.logLines().filter("⚠ здоровье — память приложения:").size(), 1);
    EXPECT_EQ(env.logLines().filter("серверов распознавания").size(), 2);
}

TEST_F(HealthTest, AnUnreadableTableSkipsThePulseSilently) {
    procs.setReadable(false);
    Health::start();
    EXPECT_EQ(records(), QStringList{"START первый известный запуск"});
    procs.setReadable(true);
    env.advance(60);
    EXPECT_EQ(records().size(), 2);
    EXPECT_TRUE(records().last().startsWith("up=1m app_mb=310 "));
}

TEST_F(HealthTest, TheLogRotatesOnceItPassesFourMebibytes) {
    QFile old(Health::rotatedPath());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older generation\n");
    old.close();
    QFile f(Health::path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(Health::ROTATE_AT - 50, 'x'));
    f.close();
    Health::pulse();  // its record crosses the limit
    EXPECT_EQ(QFile(Health::path()).size(), 0);
    EXPECT_EQ(QFile::permissions(Health::path()) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    QFile moved(Health::rotatedPath());
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    const QByteArray content = moved.readAll();
    EXPECT_FALSE(content.startsWith("older"));
    EXPECT_TRUE(content.endsWith("retry=0\n"));
    Health::pulse();
    EXPECT_EQ(healthLines().size(), 1);
}

}  // namespace
