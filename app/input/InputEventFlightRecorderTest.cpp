#include "input/InputEventFlightRecorder.h"

#include "TestEnvironment.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TextWriteTrace.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace murmelo::test {
namespace {

class FlightRecorderTest : public ::testing::Test {
protected:
    FlightRecorderTest() { env.defaults().set(TextWriteTrace::SETTING_KEY, true); }

    static InputEvent key(InputEventType type, qint64 code, const QString& chars = {}, quint64 flags = 0) {
        InputEvent e;
        e.type = type;
        e.keyCode = code;
        e.unicode = chars;
        e.flags = flags;
        return e;
    }
    void type(InputEventFlightRecorder& r, const QString& text) {
        for (QChar c : text) {
            r.observe(InputEventType::keyDown, key(InputEventType::keyDown, 0, QString(c)), now());
            r.observe(InputEventType::keyUp, key(InputEventType::keyUp, 0), now());
        }
    }
    QDateTime now() { return Clock::shared().now(); }
    QStringList flightLines() { return env.logLines().filter(QStringLiteral("input-flight/")); }

    TestEnvironment env;
};

TEST_F(FlightRecorderTest, SettingOffRecordsAndDumpsNothing) {
    env.defaults().set(TextWriteTrace::SETTING_KEY, false);
    InputEventFlightRecorder r(std::nullopt);
    type(r, QStringLiteral("make"));
    r.dump(QStringLiteral("dictation-hotkey"), now());
    env.runPending();
    EXPECT_TRUE(r.events().empty());
    EXPECT_TRUE(flightLines().isEmpty());
}

TEST_F(FlightRecorderTest, AutomaticDumpOnTheKnownWordDoesNotNameIt) {
    InputEventFlightRecorder r(std::nullopt);
    type(r, QStringLiteral("Make"));
    env.runPending();
    const QStringList lines = flightLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().contains(QStringLiteral(" BEGIN reason=known-key-sequence events=8 window=120s plaintext=none")));
    for (const QString& l : env.logLines()) EXPECT_FALSE(l.contains(QStringLiteral("make"), Qt::CaseInsensitive)) << l.toStdString();

    // Again within a second: no second dump; after a second has passed: a new one.
    env.clock().advance(0.5);
    type(r, QStringLiteral(" make "));
    env.runPending();
    EXPECT_EQ(env.logText().count(QStringLiteral(" BEGIN ")), 1);
    env.clock().advance(0.6);
    type(r, QStringLiteral("make"));
    env.runPending();
    EXPECT_EQ(env.logText().count(QStringLiteral(" BEGIN ")), 2);
}

TEST_F(FlightRecorderTest, TypingRunFollowsEditingKeys) {
    InputEventFlightRecorder r(std::nullopt);
    r.observe(InputEventType::keyDown, key(InputEventType::keyDown, 51), now());
    EXPECT_EQ(r.unicodeRun(), QString());
    type(r, QStringLiteral("абв"));
    r.observe(InputEventType::keyDown, key(InputEventType::keyDown, 51), now());
    EXPECT_EQ(r.unicodeRun(), QStringLiteral("аб"));
    r.observe(InputEventType::flagsChanged, key(InputEventType::flagsChanged, 56, {}, 0x20000), now());
    r.observe(InputEventType::keyDown, key(InputEventType::keyDown, 0, QStringLiteral("Г"), 0x20000), now());
    EXPECT_EQ(r.unicodeRun(), QStringLiteral("абГ"));
    r.observe(InputEventType::keyDown, key(InputEventType::keyDown, 123), now());
    EXPECT_EQ(r.unicodeRun(), QString());
    type(r, QStringLiteral("xy"));
    r.observe(InputEventType::keyDown, key(InputEventType::keyDown, 8, QStringLiteral("c"), 0x100000), now());
    EXPECT_EQ(r.unicodeRun(), QString());
}

TEST_F(FlightRecorderTest, LongRunKeepsItsLastCharactersAndSignsTheTails) {
    InputEventFlightRecorder r(std::nullopt);
    const QString typed = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    type(r, typed);
    EXPECT_EQ(r.unicodeRun(), typed.right(24));
    const auto events = r.events();
    const InputFlightEvent& last = events[events.size() - 2];
    EXPECT_EQ(last.unicodeUnits, 1);
    EXPECT_EQ(last.unicodeSignature, TextWriteTrace::signature(QStringLiteral("3")));
    EXPECT_EQ(last.tail4Signature, TextWriteTrace::signature(QStringLiteral("0123")));
    EXPECT_EQ(last.tail5Signature, TextWriteTrace::signature(QStringLiteral("z0123")));
    // Three characters: no tails yet.
    InputEventFlightRecorder fresh(std::nullopt);
    type(fresh, QStringLiteral("abc"));
    EXPECT_FALSE(fresh.events().back().tail4Signature);
    EXPECT_FALSE(fresh.events()[4].tail4Signature);
}

TEST_F(FlightRecorderTest, DumpLinesDescribeEachEvent) {
    InputEventFlightRecorder r(std::nullopt);
    InputEvent own = key(InputEventType::keyDown, 36);
    own.userData = SYNTHETIC_MARK;
    own.sourcePID = QCoreApplication::applicationPid();
    own.sourceStateID = 1;
    own.keyboardType = 40;
    r.observe(InputEventType::keyDown, own, now());
    env.clock().advance(0.25);
    r.observe(InputEventType::scrollWheel, key(InputEventType::scrollWheel, 0), now());
    r.dump(QStringLiteral("dictation-hotkey"), now());
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString id = QStringLiteral("p") + pid + QStringLiteral("-000001");
    const QStringList expected = {
        QStringLiteral("input-flight/") + id + QStringLiteral(" BEGIN reason=dictation-hotkey events=1 window=120s plaintext=none"),
        QStringLiteral("input-flight/") + id + QStringLiteral(" EVENT age=250ms kind=down kc=36 flags=0x0 source=com.local.murmelo#") +
            pid + QStringLiteral(" uid=0 gid=0 state=1 userdata=0x54514d31 ours=1 repeat=0 keyboard=40 u16=0 usig=- tail4=- tail5=-"),
        QStringLiteral("input-flight/") + id + QStringLiteral(" END"),
    };
    QStringList got;
    for (const QString& l : flightLines()) got << l.mid(l.indexOf(QStringLiteral("input-flight/")));
    EXPECT_EQ(got, expected);
}

TEST_F(FlightRecorderTest, WindowAndRetentionLimitTheDump) {
    struct Case {
        std::optional<QString> setting;
        double window;
        int events;
    };
    // Events at 40, 20 and 5 s before the dump; the ring keeps 30 s.
    for (const Case& c : {Case{std::nullopt, 120, 2}, Case{QStringLiteral("10"), 10, 1}, Case{QStringLiteral("abc"), 120, 2},
                          Case{QStringLiteral("-5"), -5, 0}}) {
        SCOPED_TRACE(c.setting.value_or(QStringLiteral("absent")).toStdString());
        InputEventFlightRecorder r(c.setting);
        EXPECT_EQ(r.dumpWindow(), c.window);
        const QDateTime t = now();
        for (int ago : {40, 20, 5})
            r.observe(InputEventType::keyUp, key(InputEventType::keyUp, 1), t.addSecs(-ago));
        r.dump(QStringLiteral("x"), t);
        EXPECT_TRUE(env.logLines().last(1 + c.events + 1).first().contains(
            QStringLiteral(" events=") + QString::number(c.events) + QStringLiteral(" window=")));
    }
}

}  // namespace
}  // namespace murmelo::test
