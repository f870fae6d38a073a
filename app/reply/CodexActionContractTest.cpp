#include "reply/CodexActionContract.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using M = CodexTaskMode;

QString answer(const QString& reply, const QString& warning, const QString& actions, bool needsConfirmation = false) {
    return QStringLiteral(R"({"action_title":"Ответ","reply":%1,"output_language":"ru","needs_confirmation":%2,"warning":%3%4})")
        .arg(QString::fromUtf8(QJsonDocument(QJsonArray{reply}).toJson(QJsonDocument::Compact)).mid(1).chopped(1),
             needsConfirmation ? QStringLiteral("true") : QStringLiteral("false"),
             QString::fromUtf8(QJsonDocument(QJsonArray{warning}).toJson(QJsonDocument::Compact)).mid(1).chopped(1),
             actions.isNull() ? QString() : QStringLiteral(R"(,"actions":)") + actions);
}

const QString oneAction =
    QStringLiteral(R"({"kind":"calendar_event","title":"Созвон","details":"","starts_at":"2026-12-12T10:00:00","source_quote":"завтра в 10"})");

}  // namespace

TEST(CodexTaskMode, PhraseGroupsInOrder) {
    const struct {
        const char* intent;
        M mode;
    } cases[] = {
        {"Забронируй столик на вечер", M::bookingResearch},
        {"подбери отель в Казани", M::bookingResearch},
        {"найди контакты компании и добавь в календарь", M::publicContactLookup},  // contacts come first
        {"please book", M::textOnly},                                            // "book " needs its space
        {"my notebook is full", M::bookingResearch},                             // no word boundaries
        {"Add To CALENDAR", M::actionExtraction},
        {"поставь напоминание", M::actionExtraction},
        {"НАЙДИ ТЕЛЕФОН клиники", M::publicContactLookup},
        {"ответь вежливо", M::textOnly},
    };
    for (const auto& c : cases) EXPECT_EQ(CodexTaskModes::classify(QString::fromUtf8(c.intent)), c.mode) << c.intent;
}

TEST(CodexTaskMode, WebSearchOnlyForLookupAndBooking) {
    EXPECT_FALSE(CodexTaskModes::allowsWebSearch(M::textOnly));
    EXPECT_FALSE(CodexTaskModes::allowsWebSearch(M::actionExtraction));
    EXPECT_TRUE(CodexTaskModes::allowsWebSearch(M::publicContactLookup));
    EXPECT_TRUE(CodexTaskModes::allowsWebSearch(M::bookingResearch));
    EXPECT_EQ(CodexTaskModes::promptRule(M::bookingResearch),
              "Research bookable options and return a reviewable proposal. Never reserve, purchase, submit or log in.");
}

TEST(CodexActionContract, SchemaDemandsEveryMemberAndNoOther) {
    const QJsonObject schema = CodexActionContract::schema();
    EXPECT_EQ(schema.value("required").toArray(),
              (QJsonArray{"action_title", "reply", "output_language", "needs_confirmation", "warning", "actions"}));
    EXPECT_EQ(schema.value("additionalProperties"), QJsonValue(false));
    const QJsonObject actions = schema.value("properties").toObject().value("actions").toObject();
    EXPECT_EQ(actions.value("maxItems").toInt(), 20);
    const QJsonObject item = actions.value("items").toObject();
    EXPECT_EQ(item.value("additionalProperties"), QJsonValue(false));
    EXPECT_EQ(item.value("required").toArray(), (QJsonArray{"kind", "title", "details", "starts_at", "source_quote"}));
    EXPECT_EQ(item.value("properties").toObject().value("kind").toObject().value("enum").toArray(),
              (QJsonArray{"calendar_event", "reminder", "contact_lookup", "booking_research"}));
}

TEST(CodexActionContract, DecodingIsStrict) {
    const QString exactly8000 = QString(7999, u'a') + QStringLiteral("и\u0306");  // a character of two code units
    const QString badKind = QString(oneAction).replace("calendar_event", "meeting");
    const QString noStart = QStringLiteral(R"({"kind":"reminder","title":"t","details":"d","source_quote":"q"})");
    const struct {
        const char* name;
        std::optional<QString> message;
        bool valid;
    } cases[] = {
        {"no final message", std::nullopt, false},
        {"not JSON", QStringLiteral("Вот ответ"), false},
        {"a list", QStringLiteral("[]"), false},
        {"exactly 8000 characters", answer(exactly8000, "", "[]"), true},
        {"8001 characters", answer(exactly8000 + "b", "", "[]"), false},
        {"only blanks", answer(" \n\t ", "", "[]"), false},
        {"an unknown kind", answer("ok", "", "[" + badKind + "]"), false},
        {"an action without starts_at", answer("ok", "", "[" + noStart + "]"), false},
        {"needs_confirmation as text", QString(answer("ok", "", "[]")).replace("false", "\"false\""), false},
        {"twenty-one actions", answer("ok", "", "[" + QStringList(21, oneAction).join(',') + "]"), true},
    };
    for (const auto& c : cases) {
        const auto r = CodexActionContract::decodeFinalMessage(c.message);
        if (c.valid) EXPECT_TRUE(std::holds_alternative<QuickReplyResult>(r)) << c.name;
        else
            EXPECT_EQ(r, (std::variant<QuickReplyResult, CodexBridgeError>(CodexBridgeError{CodexBridgeError::Kind::invalidResponse, {}})))
                << c.name;
    }
}

TEST(CodexActionContract, ProposalsAlwaysAskForConfirmationAndAreCounted) {
    const struct {
        QString message;
        bool needsConfirmation;
        QString warning;
    } cases[] = {
        // Without actions the agent's own values stand, the reply untrimmed.
        {answer(" Привет ", "  своё  ", QString()), false, "  своё  "},
        {answer("Привет", "", "[]", true), true, ""},
        {answer("Привет", "  Проверь дату  ", "[" + oneAction + "," + oneAction + "]"), true,
         "Проверь дату Найдено предложений: 2. Пока ничего не выполнено."},
        {answer("Привет", "", "[" + oneAction + "," + oneAction + "]"), true,
         "Найдено предложений: 2. Пока ничего не выполнено."},
    };
    for (const auto& c : cases) {
        const auto r = CodexActionContract::decodeFinalMessage(c.message);
        ASSERT_TRUE(std::holds_alternative<QuickReplyResult>(r)) << c.message.toStdString();
        const QuickReplyResult& result = std::get<QuickReplyResult>(r);
        EXPECT_EQ(result.needsConfirmation, c.needsConfirmation) << c.message.toStdString();
        EXPECT_EQ(result.warning, c.warning);
    }
    const auto untrimmed = std::get<QuickReplyResult>(CodexActionContract::decodeFinalMessage(cases[0].message));
    EXPECT_EQ(untrimmed.reply, " Привет ");
    const auto two = std::get<QuickReplyResult>(CodexActionContract::decodeFinalMessage(cases[2].message));
    ASSERT_EQ(two.actions.size(), 2);
    EXPECT_EQ(two.actions[0], (CodexActionProposal{CodexActionProposal::Kind::calendarEvent, "Созвон", "",
                                                   "2026-12-12T10:00:00", "завтра в 10"}));
}

TEST(CodexBridgeError, MessagesNeverCarryTheDetail) {
    using K = CodexBridgeError::Kind;
    EXPECT_EQ((CodexBridgeError{K::unsafeTool, "shell"}).errorDescription(),
              "Команда остановлена: Codex попытался выйти за разрешённый безопасный режим.");
    EXPECT_EQ((CodexBridgeError{K::protocolFailure, "boom"}).errorDescription(),
              "Codex не смог обработать команду. Попробуй ещё раз.");
    EXPECT_EQ((CodexBridgeError{K::executableNotFound, {}}).errorDescription(),
              "Codex не найден. Установи приложение Codex и попробуй снова.");
}
