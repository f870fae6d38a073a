#include "ai/AIProvider.h"
#include "ai/AiKeyFixture.h"
#include "dictation/DictationNeighbours.h"
#include "reply/OpenAIQuickReplyClient.h"

#include "ScopedEnv.h"
#include "StandIns.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using M = ReplyProfile::Medium;
using T = ReplyProfile::Tone;
using L = ReplyProfile::Length;
using Kind = QuickReplyError::Kind;

const QString KEY = QStringLiteral("sk-test-0123456789abcdef");

class QuickReplyClientTest : public test::AiKeyFixture {
protected:
    // Starts the stand-in with answers for a path (by its last segment) and points the client at it.
    bool startService(const QJsonArray& answers = {}, const QString& path = "responses", const QString& cert = {},
                      const QString& key = {}) {
        test::writeFile(env.root() + "/script.json",
                        QJsonDocument(QJsonObject{{path, answers}}).toJson(QJsonDocument::Compact));
        service.emplace(test::startResponsesStandIn(env.root() + "/record.jsonl", env.root() + "/script.json", cert, key));
        host.emplace(AIProvider::HOST_ENVIRONMENT, service->base().toUtf8());
        return service->running();
    }
    // A sent request: no outcome until the main queue delivers it.
    QuickReplyOutcome run(ReplyTaskKind task = ReplyTaskKind::reply) {
        std::optional<QuickReplyOutcome> got;
        const auto task_ = OpenAIQuickReplyClient::shared().createReply(
            "Пришлите отчёт", "ответь, что пришлю", MURMELO_AI_QUALITY_MODEL, ScreenContextSource::axSelection,
            std::nullopt, task, "Почта", {}, [&](const QuickReplyOutcome& o) { got = o; });
        EXPECT_TRUE(task_.has_value());
        EXPECT_FALSE(got) << "a sent request completes later, on the main queue";
        EXPECT_TRUE(env.waitFor([&] { return got.has_value(); }, 20000));
        return got.value_or(QuickReplyError{});
    }
    // Whatever completed before createReply returned; nothing when it was sent or observed.
    std::optional<QuickReplyOutcome> synchronously(const QString& context, const OpenAIQuickReplyClient::PayloadObserver& observer = {}) {
        std::optional<QuickReplyOutcome> got;
        const auto task = OpenAIQuickReplyClient::shared().createReply(
            context, "ответь", MURMELO_AI_FAST_MODEL, std::nullopt, std::nullopt, ReplyTaskKind::reply, std::nullopt,
            observer, [&](const QuickReplyOutcome& o) { got = o; });
        EXPECT_FALSE(task.has_value());
        return got;
    }

    std::optional<test::ResponsesStandIn> service;
    std::optional<test::ScopedEnv> host;
};

QString answer(const QString& reply) {
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"action_title", "Ответ отправлен"},
                                                        {"reply", reply},
                                                        {"output_language", "ru"},
                                                        {"needs_confirmation", false},
                                                        {"warning", ""}})
                                 .toJson(QJsonDocument::Compact));
}

TEST_F(QuickReplyClientTest, DryRunBodiesMatchTheirGoldenFiles) {
    storePersonal(KEY);
    ASSERT_TRUE(startService());
    const struct {
        const char* file;
        QString context;
        QString intent;
        ScreenContextSource source;
        std::optional<ReplyProfile> profile;
        ReplyTaskKind task;
        std::optional<QString> label;
    } cases[] = {
        {"quick-reply-reply.json", "Добрый день! Пришлите, пожалуйста, отчёт до пятницы.\n— Анна Петровна",
         "ответь, что пришлю в четверг", ScreenContextSource::axWindow, std::nullopt, ReplyTaskKind::reply,
         "Thunderbird"},
        {"quick-reply-compose.json", "Входящие\nАнна Петровна — Отчёт за квартал",
         "напиши Игорю письмо про перенос встречи на понедельник", ScreenContextSource::axWindow,
         ReplyProfile{M::letter, T::formal, L::shortForm, "  Иван Петров\n", " Пиши на «вы». "}, ReplyTaskKind::compose,
         ""},
        {"quick-reply-translate.json", "Привет! Как дела?", "переведи на английский", ScreenContextSource::axWindow,
         ReplyProfile{M::chat, T::casual, L::shortForm, "Иван", "Без смайликов"}, ReplyTaskKind::translate, std::nullopt},
        {"quick-reply-auto.json", "Issue #12: crash on start", "ответь, что починим в следующей версии",
         ScreenContextSource::ocr, ReplyProfile{M::comment, T::neutral, L::detailed, "", ""}, ReplyTaskKind::automatic,
         "Firefox"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::optional<QJsonObject> body;
        bool completed = false;
        const auto task = OpenAIQuickReplyClient::shared().createReply(
            c.context, c.intent, MURMELO_AI_QUALITY_MODEL, c.source, c.profile, c.task, c.label,
            [&](const QJsonObject& b) { body = b; }, [&](const QuickReplyOutcome&) { completed = true; });
        EXPECT_FALSE(task);
        EXPECT_FALSE(completed);
        ASSERT_TRUE(body);
        const QJsonObject golden =
            QJsonDocument::fromJson(test::readFile(QStringLiteral(MURMELO_REPLY_TESTDATA "/") + c.file)).object();
        ASSERT_FALSE(golden.isEmpty());
        // The instructions first, so that a difference shows as text.
        EXPECT_EQ((*body)["instructions"].toString(), golden["instructions"].toString());
        EXPECT_EQ(*body, golden);
    }
    // Without a context source: no "context_source", no window note.
    std::optional<QJsonObject> body;
    synchronously("текст", [&](const QJsonObject& b) { body = b; });
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["input"].toString(), R"({"quoted_message":"текст","spoken_intent":"ответь"})");
    EXPECT_FALSE((*body)["instructions"].toString().contains("whole application window"));
    EXPECT_TRUE(service->requests().isEmpty());
}

TEST_F(QuickReplyClientTest, FailuresBeforeSendingCompleteAtOnceAndSendNothing) {
    ASSERT_TRUE(startService());
    auto kind = [](const std::optional<QuickReplyOutcome>& o) {
        return o && std::holds_alternative<QuickReplyError>(*o) ? std::optional(std::get<QuickReplyError>(*o).kind)
                                                                : std::nullopt;
    };
    EXPECT_EQ(kind(synchronously("текст")), Kind::missingKey);
    EXPECT_TRUE(env.logContains("Quick Reply API: запрос не отправлен - Сначала добавь ключ облачных ответов в настройках."));
    storePersonal(KEY);
    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(kind(synchronously(QString(QChar(0xD800)))), Kind::invalidRequest);
    // The own backend chosen but not configured.
    env.defaults().set(AIProvider::ROUTE_KEY, "ownBackend");
    env.defaults().set(AIProvider::BACKEND_URL_KEY, "http://127.0.0.1/x");
    const auto notConfigured = synchronously("текст");
    EXPECT_EQ(kind(notConfigured), Kind::missingKey);
    EXPECT_TRUE(env.logContains("Quick Reply API: запрос не отправлен - " +
                                errorDescription(AIProviderError::backendNotConfigured)));
    EXPECT_TRUE(service->requests().isEmpty());
}

TEST_F(QuickReplyClientTest, ThroughTheStandInARecordOrTheErrorText) {
    storePersonal(KEY);
    ASSERT_TRUE(startService({
        QJsonObject{{"text", answer("Пришлю в четверг.")}},
        QJsonObject{{"status", 401}, {"error", "Incorrect API key provided"}},
        QJsonObject{{"incomplete", "max_output_tokens"}, {"text", R"({"action_title":"Отв)"}},
        QJsonObject{{"status", 500}, {"raw", "<html>oops</html>"}},
    }));
    const QuickReplyOutcome ok = run();
    ASSERT_TRUE(std::holds_alternative<QuickReplyResult>(ok));
    EXPECT_EQ(std::get<QuickReplyResult>(ok), (QuickReplyResult{"Ответ отправлен", "Пришлю в четверг.", "ru", false, "", {}}));
    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["path"].toString(), "/v1/responses");
    EXPECT_EQ(requests[0]["headers"]["authorization"].toString(), "Bearer " + KEY);
    const QJsonObject body = QJsonDocument::fromJson(requests[0]["body"].toString().toUtf8()).object();
    EXPECT_EQ(body["input"].toString(),
              R"({"context_source":"выделение","quoted_message":"Пришлите отчёт","source_application":"Почта","spoken_intent":"ответь, что пришлю"})");
    EXPECT_TRUE(env.logContains(" мс, модель gpt-5.6-terra, 17 симв."));
    EXPECT_FALSE(env.logContains("Пришлите"));

    const struct {
        const char* text;
        const char* log;
    } failures[] = {
        {"Ключ для облачных ответов не принят. Проверь его в настройках.", "Quick Reply API: HTTP 401, "},
        {"Ответ не поместился в отведённый размер (упёрлись в потолок размера). Попробуй выделить кусок покороче или "
         "переспросить короче.",
         "Quick Reply API: ответ не разобран за "},
        {"Сервис ответов вернул ошибку 500: неизвестная ошибка", "Quick Reply API: HTTP 500, "},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.text);
        const QuickReplyOutcome outcome = run();
        ASSERT_TRUE(std::holds_alternative<QuickReplyError>(outcome));
        EXPECT_EQ(std::get<QuickReplyError>(outcome).errorDescription(), QString::fromUtf8(f.text));
        EXPECT_TRUE(env.logContains(QString::fromUtf8(f.log)));
    }
}

TEST_F(QuickReplyClientTest, TheOwnBackendGetsTheQuickReplyPathWithoutTheKey) {
    const QString cert = env.root() + "/cert.pem", key = env.root() + "/key.pem";
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
                              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
    OpenAIQuickReplyClient::shared().setExtraCertificates(QSslCertificate::fromPath(cert));
    storePersonal(KEY);
    ASSERT_TRUE(startService({QJsonObject{{"text", answer("Готово.")}}}, "quick-reply", cert, key));
    env.defaults().set(AIProvider::ROUTE_KEY, "ownBackend");
    env.defaults().set(AIProvider::BACKEND_URL_KEY, service->base("https") + "/x");
    const QuickReplyOutcome outcome = run(ReplyTaskKind::compose);
    EXPECT_TRUE(std::holds_alternative<QuickReplyResult>(outcome))
        << std::get<QuickReplyError>(outcome).errorDescription().toStdString();
    OpenAIQuickReplyClient::shared().setExtraCertificates({});
    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["path"].toString(), "/x/quick-reply");
    EXPECT_FALSE(requests[0]["headers"].toObject().contains("authorization"));
}

}  // namespace
