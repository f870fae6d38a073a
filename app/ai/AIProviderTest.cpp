#include "ai/AIProvider.h"
#include "ai/CloudTransport.h"
#include "ai/AiKeyFixture.h"

#include "LocalHttpServer.h"
#include "StandIns.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "sim/SimKeyStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString PERSONAL = QStringLiteral("sk-personal-0123456789abcdef");
const QString BUILD_KEY = QStringLiteral("sk-build-key-0123456789abcdef");

class AIProviderTest : public test::AiKeyFixture {
protected:
    void bundle(const QString& key) {
        test::writeFile(env.root() + "/bundled-key.txt", key.toUtf8());
        BundledKey::resetForTesting(env.root() + "/bundled-key.txt");
    }

    const QUrl upstream{QStringLiteral("https://api.example/v1/responses")};
};

TEST_F(AIProviderTest, RoutesTable) {
    struct Case {
        const char* name;
        std::optional<QString> route, backend, personal, bundled;
        QString expectUrl;  // empty: not ready
        std::optional<QByteArray> expectAuthorization;
        QString expectMessage;
    };
    const QString missing = QStringLiteral("Сначала добавь ключ облачных ответов в настройках.");
    const QString notConfigured = QStringLiteral("Сервер Murmelo не настроен.");
    const Case cases[] = {
        {"no route stored: key route", {}, {}, PERSONAL, {}, upstream.toString(), "Bearer " + PERSONAL.toUtf8(), missing},
        {"personal key wins over the build key", "userKey", {}, PERSONAL, BUILD_KEY, upstream.toString(),
         "Bearer " + PERSONAL.toUtf8(), missing},
        {"empty personal key: the build key", "userKey", {}, QString(), BUILD_KEY, upstream.toString(),
         "Bearer " + BUILD_KEY.toUtf8(), missing},
        {"no key anywhere", {}, {}, {}, {}, {}, {}, missing},
        {"route in other letter case is the key route", "OwnBackend", "https://h/x", {}, {}, {}, {}, missing},
        {"own backend with a path gets one more segment", "ownBackend", "https://h/x", {}, {}, "https://h/x/quick-reply",
         {}, notConfigured},
        {"own backend ending in a slash", "ownBackend", "https://h/x/", PERSONAL, {}, "https://h/x/quick-reply", {},
         notConfigured},
        {"own backend without a path", "ownBackend", "https://h", {}, {}, "https://h/quick-reply", {}, notConfigured},
        {"plain http backend: no fallback to the key", "ownBackend", "http://h/x", PERSONAL, {}, {}, {}, notConfigured},
        {"scheme in capitals", "ownBackend", "HTTPS://h/x", PERSONAL, {}, {}, {}, notConfigured},
        {"unparsable backend", "ownBackend", "https://h x/y", {}, {}, {}, {}, notConfigured},
        {"no host", "ownBackend", "https:x", {}, {}, {}, {}, notConfigured},
        {"no backend stored", "ownBackend", {}, PERSONAL, {}, {}, {}, notConfigured},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        env.defaults().remove(AIProvider::ROUTE_KEY);
        env.defaults().remove(AIProvider::BACKEND_URL_KEY);
        keys.remove("com.local.murmelo.openai", "api-key");
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting(env.root() + "/no-bundled-key.txt");
        if (c.route) env.defaults().set(AIProvider::ROUTE_KEY, *c.route);
        if (c.backend) env.defaults().set(AIProvider::BACKEND_URL_KEY, *c.backend);
        if (c.personal) storePersonal(*c.personal);
        if (c.bundled) bundle(*c.bundled);

        const auto result = AIProvider::request(QStringLiteral("quick-reply"), upstream);
        EXPECT_EQ(AIProvider::isReady(), !c.expectUrl.isEmpty());
        // Asked while ready too: the text of the current route.
        EXPECT_EQ(AIProvider::notReadyMessage(), c.expectMessage);
        if (c.expectUrl.isEmpty()) {
            ASSERT_FALSE(result.request);
            ASSERT_TRUE(result.error);
            EXPECT_EQ(errorDescription(*result.error), c.expectMessage);
            continue;
        }
        ASSERT_TRUE(result.request);
        const AIRequest& r = *result.request;
        EXPECT_EQ(r.url.toString(), c.expectUrl);
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.header("Content-Type"), QByteArray("application/json"));
        EXPECT_EQ(r.header("Authorization"), c.expectAuthorization);
        EXPECT_EQ(r.idleTimeoutSeconds, AIProvider::IDLE_TIMEOUT_SECONDS);
        EXPECT_EQ(r.deadlineSeconds, AIProvider::DEADLINE_SECONDS);
    }
    EXPECT_FALSE(env.logContains(PERSONAL));
    EXPECT_FALSE(env.logContains(BUILD_KEY));
}

TEST_F(AIProviderTest, RouteAndKeySourceFollowTheDefaults) {
    EXPECT_EQ(AIProvider::route(), AIRoute::userKey);
    AIProvider::setRoute(AIRoute::ownBackend);
    EXPECT_EQ(env.defaults().stringValue(AIProvider::ROUTE_KEY), QStringLiteral("ownBackend"));
    EXPECT_EQ(AIProvider::route(), AIRoute::ownBackend);
    // The key ignores the route.
    bundle(BUILD_KEY);
    EXPECT_EQ(AIProvider::keySource(), AIKeySource::bundled);
    EXPECT_EQ(AIProvider::userKey(), BUILD_KEY);
    storePersonal(PERSONAL);
    EXPECT_EQ(AIProvider::keySource(), AIKeySource::personal);
}

TEST(AIProviderUpstream, BuildHostAndItsOverride) {
    const QString build = QStringLiteral("api.openai.com");
    const struct {
        const char* name;
        QString overrideValue, expect;
    } cases[] = {
        {"no override", "", "https://api.openai.com/v1/responses"},
        {"host", "mirror.example", "https://mirror.example/v1/responses"},
        {"host and port", "mirror.example:8443", "https://mirror.example:8443/v1/responses"},
        {"https address, its path ignored", "https://mirror.example/other", "https://mirror.example/v1/responses"},
        {"plain http on loopback", "http://127.0.0.1:5050", "http://127.0.0.1:5050/v1/responses"},
        {"plain http elsewhere is refused", "http://mirror.example", "https://api.openai.com/v1/responses"},
        {"another scheme is refused", "ftp://mirror.example", "https://api.openai.com/v1/responses"},
        {"unparsable", "https://mir ror", "https://api.openai.com/v1/responses"},
    };
    for (const auto& c : cases) EXPECT_EQ(AIProvider::upstreamFor(build, c.overrideValue).toString(), c.expect) << c.name;

    const QByteArray saved = qgetenv(AIProvider::HOST_ENVIRONMENT);
    qunsetenv(AIProvider::HOST_ENVIRONMENT);
    EXPECT_EQ(AIProvider::defaultUpstream().toString(), QStringLiteral("https://api.openai.com/v1/responses"));
    qputenv(AIProvider::HOST_ENVIRONMENT, "127.0.0.1:7");
    EXPECT_EQ(AIProvider::defaultUpstream().toString(), QStringLiteral("https://127.0.0.1:7/v1/responses"));
    if (saved.isNull()) qunsetenv(AIProvider::HOST_ENVIRONMENT);
    else qputenv(AIProvider::HOST_ENVIRONMENT, saved);
}

// ---- requests on the wire, against the stand-in service ----

class CloudTransportTest : public AIProviderTest {
protected:
    CloudResponse sendAndWait(const AIRequest& request, const QByteArray& body) {
        std::optional<CloudResponse> got;
        transport.send(request, body, [&](CloudResponse r) { got = r; });
        EXPECT_TRUE(env.waitFor([&] { return got.has_value(); }, 20000));
        return got.value_or(CloudResponse{});
    }
    // A certificate for 127.0.0.1 that the transport trusts, made with openssl.
    bool makeCertificate() {
        cert = env.root() + "/cert.pem";
        key = env.root() + "/key.pem";
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days",
                                  "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) return false;
        transport.setExtraCertificates(QSslCertificate::fromPath(cert));
        return true;
    }
    CloudTransport transport;
    QString cert, key;
    const QByteArray body = R"({"model":"gpt-5.6-luna","input":"привет, мир"})";
};

TEST_F(CloudTransportTest, KeyRouteCarriesTheBearerKeyToTheUpstream) {
    auto service = test::startResponsesStandIn(env.root() + "/record.jsonl");
    ASSERT_TRUE(service.running());
    storePersonal(PERSONAL);
    const auto built = AIProvider::request("quick-action", QUrl(service.base() + AIProvider::RESPONSES_PATH));
    ASSERT_TRUE(built.request);
    const CloudResponse answer = sendAndWait(*built.request, body);
    EXPECT_EQ(answer.failure, CloudResponse::Failure::none);
    EXPECT_EQ(answer.status, 200);
    const QJsonObject reply = QJsonDocument::fromJson(answer.body).object();
    EXPECT_EQ(reply["status"].toString(), "completed");
    EXPECT_EQ(reply["output"].toArray()[0].toObject()["content"].toArray()[0].toObject()["text"].toString(), "привет, мир");

    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["path"].toString(), "/v1/responses");
    EXPECT_EQ(requests[0]["headers"].toObject()["authorization"].toString(), "Bearer " + PERSONAL);
    EXPECT_EQ(requests[0]["headers"].toObject()["content-type"].toString(), "application/json");
    EXPECT_FALSE(requests[0]["headers"].toObject().contains("cookie"));
    EXPECT_EQ(requests[0]["body"].toString().toUtf8(), body);
    EXPECT_FALSE(env.logContains(PERSONAL));
}

TEST_F(CloudTransportTest, OwnBackendOverHttpsGetsThePathAndNoKey) {
    ASSERT_TRUE(makeCertificate());
    auto backend = test::startResponsesStandIn(env.root() + "/record.jsonl", {}, cert, key);
    ASSERT_TRUE(backend.running());
    storePersonal(PERSONAL);
    env.defaults().set(AIProvider::ROUTE_KEY, "ownBackend");
    env.defaults().set(AIProvider::BACKEND_URL_KEY, backend.base("https") + "/x");
    const auto built = AIProvider::request("quick-reply", AIProvider::defaultUpstream());
    ASSERT_TRUE(built.request);
    const CloudResponse answer = sendAndWait(*built.request, body);
    EXPECT_EQ(answer.failure, CloudResponse::Failure::none) << answer.errorText.toStdString();
    EXPECT_EQ(answer.status, 200);
    const auto requests = backend.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["path"].toString(), "/x/quick-reply");
    EXPECT_FALSE(requests[0]["headers"].toObject().contains("authorization"));
    EXPECT_FALSE(test::readFile(backend.record).contains(PERSONAL.toUtf8()));
}

TEST_F(CloudTransportTest, ScriptedAnswersKeepTheServiceShapeAndStatus) {
    test::writeFile(env.root() + "/script.json", R"({"responses": [
        {"status": 429, "error": "Rate limit reached"},
        {"incomplete": "max_output_tokens", "text": "частично"},
        {"refusal": "не могу"}]})");
    auto service = test::startResponsesStandIn(env.root() + "/record.jsonl", env.root() + "/script.json");
    ASSERT_TRUE(service.running());
    storePersonal(PERSONAL);
    const AIRequest r = *AIProvider::request("quick-action", QUrl(service.base() + AIProvider::RESPONSES_PATH)).request;

    const CloudResponse limited = sendAndWait(r, body);
    EXPECT_EQ(limited.status, 429);
    EXPECT_EQ(QJsonDocument::fromJson(limited.body)["error"]["message"].toString(), "Rate limit reached");
    const QJsonDocument incomplete = QJsonDocument::fromJson(sendAndWait(r, body).body);
    EXPECT_EQ(incomplete["status"].toString(), "incomplete");
    EXPECT_EQ(incomplete["incomplete_details"]["reason"].toString(), "max_output_tokens");
    const QJsonDocument refused = QJsonDocument::fromJson(sendAndWait(r, body).body);
    EXPECT_EQ(refused["output"][0]["content"][0]["refusal"].toString(), "не могу");
    // Used up: the echo again.
    EXPECT_EQ(QJsonDocument::fromJson(sendAndWait(r, body).body)["status"].toString(), "completed");
}

TEST_F(CloudTransportTest, ASlowAnswerEndsAtTheDeadline) {
    test::writeFile(env.root() + "/script.json", R"({"responses": [{"delay": 20}]})");
    auto service = test::startResponsesStandIn(env.root() + "/record.jsonl", env.root() + "/script.json");
    ASSERT_TRUE(service.running());
    storePersonal(PERSONAL);
    AIRequest r = *AIProvider::request("quick-action", QUrl(service.base() + AIProvider::RESPONSES_PATH)).request;
    r.deadlineSeconds = 0.2;
    EXPECT_EQ(sendAndWait(r, body).failure, CloudResponse::Failure::timedOut);
}

TEST_F(CloudTransportTest, TheKeyNeverFollowsARedirectToAnotherHost) {
    auto other = test::startResponsesStandIn(env.root() + "/record.jsonl");
    ASSERT_TRUE(other.running());
    // The first host sends every request on to the stand-in, another origin (another port).
    QTcpServer first;
    ASSERT_TRUE(first.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&first, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = first.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, &other] {
            if (!s->readAll().contains("\r\n\r\n")) return;
            s->write("HTTP/1.1 307 Temporary Redirect\r\nLocation: " + other.base().toUtf8() +
                     "/v1/responses\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            s->disconnectFromHost();
        });
    });
    storePersonal(PERSONAL);
    const AIRequest r =
        *AIProvider::request("quick-action", QUrl("http://127.0.0.1:" + QString::number(first.serverPort()) +
                                                  AIProvider::RESPONSES_PATH)).request;
    const CloudResponse answer = sendAndWait(r, body);
    EXPECT_EQ(answer.failure, CloudResponse::Failure::network);
    EXPECT_TRUE(other.requests().isEmpty());
}

TEST_F(CloudTransportTest, AKeyIsNeverSentUnencryptedOffThisMachine) {
    storePersonal(PERSONAL);
    const AIRequest r = *AIProvider::request("quick-action", QUrl("http://api.example/v1/responses")).request;
    EXPECT_EQ(sendAndWait(r, body).failure, CloudResponse::Failure::refused);
}

}  // namespace
