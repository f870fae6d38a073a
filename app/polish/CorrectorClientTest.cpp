#include "polish/CorrectorClient.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// Talks to a corrector the test starts on 127.0.0.1; virtual time decides how long an
// answer took and when the time-out fires.
class CorrectorClientTest : public ::testing::Test {
protected:
    CorrectorClientTest() { PolishLatency::reset(); }
    ~CorrectorClientTest() override { PolishLatency::reset(); }

    // Sends the text, lets `virtualMs` pass before the reply is read, and waits (on the
    // sockets, not on a timer) until the completion ran.
    std::optional<std::optional<QString>> ask(const QString& text, double virtualMs = 10) {
        std::optional<std::optional<QString>> got;
        int calls = 0;
        requestCorrection(text, [&](std::optional<QString> answer) {
            ++calls;
            got = std::move(answer);
        });
        env.advance(virtualMs / 1000.0);
        QDeadlineTimer deadline(20000);
        while (!got && !deadline.hasExpired()) {
            env.runPending();
            QEventLoop loop;
            QTimer::singleShot(2, &loop, &QEventLoop::quit);
            loop.exec();
        }
        env.runPending();
        EXPECT_EQ(calls, 1);
        return got;
    }

    test::TestEnvironment env;
    test::LocalHttpServer server;
    CorrectorEndpoint endpoint{server.url("/correct")};
    ScopedService<CorrectorEndpoint> endpointScope{endpoint};
};

}  // namespace

TEST_F(CorrectorClientTest, OnlyASuccessfulUtf8ReplyIsACorrection) {
    struct Case {
        const char* name;
        test::LocalHttpServer::Reply reply;
        std::optional<QString> answer;
    };
    const Case cases[] = {
        {"the corrected text", {200, QStringLiteral("Привет, как дела?").toUtf8()}, QStringLiteral("Привет, как дела?")},
        {"any 2xx", {203, QByteArrayLiteral("ok.")}, QStringLiteral("ok.")},
        {"an empty body is an empty correction", {200, QByteArray()}, QString()},
        {"an error page is not a correction", {500, QByteArrayLiteral("Internal error: model crashed")}, std::nullopt},
        {"not found", {404, QByteArrayLiteral("привет")}, std::nullopt},
        {"a body that is not UTF-8", {200, QByteArray("\xff\xfe\x80", 3)}, std::nullopt},
        {"a connection broken mid-body", {200, QByteArrayLiteral("Привет, как"), true, 5}, std::nullopt},
    };
    for (const Case& c : cases) {
        server.set("/correct", c.reply);
        const auto got = ask(QStringLiteral("привет как дела"));
        ASSERT_TRUE(got.has_value()) << c.name;
        EXPECT_EQ(*got, c.answer) << c.name;
    }
    EXPECT_TRUE(env.logContains("⚠ polish/корректор: ответ HTTP 500 — это не правка, текст не трогаю"));
}

TEST_F(CorrectorClientTest, NoServerAndTimeOutGiveNone) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    CorrectorEndpoint nowhere{QUrl(QStringLiteral("http://127.0.0.1:%1/correct").arg(port))};
    {
        ScopedService<CorrectorEndpoint> scope{nowhere};
        const auto refused = ask(QStringLiteral("текст"));
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(*refused, std::nullopt);
    }

    // A corrector that never answers is given up on after 12 s of virtual time; the slow
    // line is written, and no sample is taken from a failure.
    server.set("/correct", {200, QByteArrayLiteral("never"), true, -1, true});
    const auto silent = ask(QStringLiteral("привет"), 12000);
    ASSERT_TRUE(silent.has_value());
    EXPECT_EQ(*silent, std::nullopt);
    EXPECT_TRUE(env.logContains("polish/корректор: ответ 12000 мс на 6 симв."));
    EXPECT_EQ(PolishLatency::maxChars(1000), 1000);
    EXPECT_EQ(PolishLatency::describe(), std::nullopt);
}

TEST_F(CorrectorClientTest, SlowAnswersAreLoggedAndMeasured) {
    server.set("/correct", {200, QByteArrayLiteral("x")});
    ask(QStringLiteral("abcd"), 119);
    EXPECT_FALSE(env.logContains("polish/корректор: ответ"));
    ask(QStringLiteral("abcd"), 120);
    EXPECT_TRUE(env.logContains("polish/корректор: ответ 120 мс на 4 симв."));
    // Two more answers make an estimate, which the slow line then carries.
    ask(QStringLiteral("abcd"), 40);
    ask(QStringLiteral("abcdefghij"), 200);
    EXPECT_TRUE(env.logContains("polish/корректор: ответ 200 мс на 10 симв. (29.75 мс/симв. по 4 ответам)"));
    EXPECT_EQ(PolishLatency::maxChars(100), 3);  // costs 10, 20, 29.75, 30: the upper median is 29.75
}

TEST(PolishLatencyTest, EstimateFromTheUpperMedianOfRecentSamples) {
    PolishLatency::reset();
    for (int ms : {1, 2, 3}) PolishLatency::note(10, ms * 10);
    EXPECT_EQ(PolishLatency::maxChars(100), 100);  // three samples are not enough
    EXPECT_EQ(PolishLatency::describe(), std::nullopt);
    PolishLatency::note(10, 40);  // costs 1, 2, 3, 4 ms per character: index 2 is 3
    EXPECT_EQ(PolishLatency::maxChars(1000), 33);
    EXPECT_EQ(PolishLatency::maxChars(20), 20);
    EXPECT_EQ(PolishLatency::describe(), QStringLiteral("3.00 мс/симв. по 4 ответам"));

    // Empty or instant samples are not evidence.
    PolishLatency::note(0, 50);
    PolishLatency::note(10, 0);
    EXPECT_EQ(PolishLatency::describe(), QStringLiteral("3.00 мс/симв. по 4 ответам"));

    // Only the 24 newest count: 21 cheap samples push out the first ones.
    for (int i = 0; i < 21; ++i) PolishLatency::note(100, 50);  // 0.5 ms per character
    EXPECT_EQ(PolishLatency::describe(), QStringLiteral("0.50 мс/симв. по 24 ответам"));
    EXPECT_EQ(PolishLatency::maxChars(1000), 200);
    PolishLatency::reset();
    EXPECT_EQ(PolishLatency::describe(), std::nullopt);
}

#include "sim/SimComposeStage.h"

// The simulated text field brings its own corrector: it answers after the field's latency and
// the network is never asked.
TEST_F(CorrectorClientTest, TheSimulatedFieldsCorrectorAnswersInstead) {
    sim::SimComposeStage stage(QStringLiteral("com.apple.keylayout.US"));
    stage.corrector = [](const QString& text) { return std::optional<QString>(text.toUpper()); };
    stage.correctorDelay = 0.25;
    ComposeStage::install(&stage);
    std::optional<std::optional<QString>> got;
    requestCorrection(QStringLiteral("тест"), [&](std::optional<QString> answer) { got = answer; });
    env.advance(0.2);
    EXPECT_FALSE(got.has_value());
    env.advance(0.05);
    ComposeStage::install(nullptr);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, QStringLiteral("ТЕСТ"));
    EXPECT_EQ(server.requests(), 0);
}
