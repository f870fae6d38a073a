#include "dictation/OndrixBridge.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QByteArray TOKEN = QByteArray("0123456789abcdef").repeated(4);

struct AddressCase {
    const char* name;
    QString text;
    std::optional<QString> remainder;
};

class Addressing : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addressing, FindsTheRemainder) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(OndrixBridge::addressedCommand(c.text), c.remainder) << c.name;
    EXPECT_EQ(OndrixBridge::shared().isAddressed(c.text), c.remainder.has_value()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Addressing,
    ::testing::Values(AddressCase{"commaAndStopTrimmed", "Онди, открой заметки.", QString("открой заметки")},
                      AddressCase{"emDash", "ондрикс—напомни в пять", QString("напомни в пять")},
                      AddressCase{"letterFollows", "Ондриксу привет", std::nullopt},
                      AddressCase{"wordAlone", "Онди.", std::nullopt},
                      AddressCase{"notAtStart", "Скажи онди привет", std::nullopt},
                      AddressCase{"caseIgnored", "  ONDRIX, status", QString("status")},
                      AddressCase{"emojiFollows", QString::fromUtf8("онди\xF0\x9F\x98\x80 привет"), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct Bridge : ::testing::Test {
    test::TestEnvironment env;
    test::LocalHttpServer companion;
    OndrixBridge bridge;

    Bridge() {
        bridge.endpoint = companion.url("/v1/transcripts");
        // Short limits, so that a silent companion is given up on quickly.
        bridge.requestTimeout = 0.3;
        bridge.resourceTimeout = 0.5;
    }

    void writeToken(const QByteArray& content) {
        QDir().mkpath(QFileInfo(OndrixBridge::tokenPath()).path());
        QFile f(OndrixBridge::tokenPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

    // Sends and serves the stand-in until the verdict arrives on the main queue.
    std::optional<bool> route(const QString& text) {
        std::optional<bool> verdict;
        bridge.routeIfAddressed(text, [&](bool delivered) { verdict = delivered; });
        QDeadlineTimer guard(20000);
        while (!verdict && !guard.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            env.runPending();
        }
        return verdict;
    }
};

TEST_F(Bridge, DeliversTheRecordToAnAcceptingCompanion) {
    writeToken(TOKEN + "\n");
    companion.set("/v1/transcripts", {202, {}});
    EXPECT_EQ(route("Онди, открой заметки."), true);
    EXPECT_TRUE(env.logContains("Ondrix bridge: адресная команда доставлена"));

    const QByteArray request = companion.lastRequest();
    EXPECT_TRUE(request.startsWith("POST /v1/transcripts "));
    const qsizetype split = request.indexOf("\r\n\r\n");
    const QByteArray head = request.left(split).toLower();
    const QByteArray body = request.mid(split + 4);
    EXPECT_TRUE(head.contains("x-ondrix-voice-token: " + TOKEN));
    EXPECT_TRUE(head.contains("content-type: application/json"));
    EXPECT_EQ(head.count("content-length:"), 1);
    EXPECT_TRUE(head.contains("content-length: " + QByteArray::number(body.size())));

    const QRegularExpression form(
        R"(^\{"schemaVersion":"1","id":"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}",)"
        R"("source":"com.local.murmelo","transcript":"[^"]*","occurredAt":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"\}$)");
    EXPECT_TRUE(form.match(QString::fromUtf8(body)).hasMatch()) << body.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(body).object().value("transcript").toString(), "открой заметки");
}

TEST_F(Bridge, AnythingButAcceptedIsNotDelivered) {
    writeToken(TOKEN);
    struct Case {
        const char* name;
        test::LocalHttpServer::Reply reply;
    };
    for (const Case& c : {Case{"ok", {200, {}}}, Case{"serverError", {500, "no"}},
                          Case{"silent", {200, {}, true, -1, true}}}) {
        companion.set("/v1/transcripts", c.reply);
        EXPECT_EQ(route("Онди, привет"), false) << c.name;
    }
    EXPECT_EQ(env.logText().count("Ondrix bridge: недоступен — обычная вставка"), 3);
    EXPECT_FALSE(env.logContains("доставлена"));
}

TEST_F(Bridge, NothingIsSentWithoutAUsableToken) {
    companion.set("/v1/transcripts", {202, {}});
    // Missing, upper-case digits, one digit short.
    EXPECT_EQ(route("Онди, привет"), false);
    writeToken(TOKEN.toUpper());
    EXPECT_EQ(route("Онди, привет"), false);
    writeToken(TOKEN.left(63));
    EXPECT_EQ(route("Онди, привет"), false);
    EXPECT_EQ(env.logText().count("Ondrix bridge: токен недоступен — обычная вставка"), 3);
    EXPECT_EQ(companion.requests(), 0);
}

TEST_F(Bridge, TranscriptLimitIsEightThousandCharacters) {
    writeToken(TOKEN);
    companion.set("/v1/transcripts", {202, {}});
    EXPECT_EQ(route("Онди, " + QString("я").repeated(OndrixBridge::MAX_TRANSCRIPT)), true);
    EXPECT_EQ(route("Онди, " + QString("я").repeated(OndrixBridge::MAX_TRANSCRIPT + 1)), false);
    EXPECT_EQ(companion.requests(), 1);
    EXPECT_TRUE(env.logContains("Ondrix bridge: токен недоступен — обычная вставка"));
}

TEST_F(Bridge, UnaddressedTextAnswersAtOnceWithoutALogLine) {
    bool called = false, verdict = true;
    bridge.routeIfAddressed("привет", [&](bool d) {
        called = true;
        verdict = d;
    });
    EXPECT_TRUE(called);
    EXPECT_FALSE(verdict);
    EXPECT_FALSE(env.logContains("Ondrix bridge"));
}

}  // namespace
