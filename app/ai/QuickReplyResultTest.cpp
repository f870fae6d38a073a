#include "ai/QuickReplyResult.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using Kind = QuickReplyError::Kind;

QJsonObject record(const QJsonValue& reply = "Привет! Буду в пять.") {
    return {{"action_title", "Ответ про встречу"},
            {"reply", reply},
            {"output_language", "ru"},
            {"needs_confirmation", false},
            {"warning", ""}};
}
QString text(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }
QJsonObject message(const QJsonArray& parts) { return {{"type", "message"}, {"content", parts}}; }
QJsonObject outputText(const QString& t) { return {{"type", "output_text"}, {"text", t}}; }
const QJsonObject reasoning{{"type", "reasoning"}};

QByteArray envelope(const QJsonArray& output, const QJsonValue& status = "completed", const QJsonObject& extra = {}) {
    QJsonObject top = extra;
    if (!status.isUndefined()) top.insert("status", status);
    top.insert("output", output);
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
}

TEST(QuickReplyDecode, ReplyShapes) {
    QJsonObject withoutWarning = record();
    withoutWarning.remove("warning");
    QJsonObject withActions = record();
    withActions.insert("actions", QJsonArray{QJsonObject{{"kind", "calendar_event"},
                                                         {"title", "Встреча"},
                                                         {"details", "в пять"},
                                                         {"starts_at", "2026-12-11T17:00:00Z"},
                                                         {"source_quote", "в пять"}}});
    QJsonObject nullActions = record();
    nullActions.insert("actions", QJsonValue::Null);
    QJsonObject badKind = record();
    badKind.insert("actions", QJsonArray{QJsonObject{{"kind", "payment"}, {"title", ""}, {"details", ""},
                                                     {"starts_at", ""}, {"source_quote", ""}}});
    QJsonObject untitled = record();
    untitled.insert("action_title", " . ");
    const struct {
        const char* name;
        QByteArray body;
        std::optional<QString> reply;  // decoded, or nothing for an error
        QuickReplyError error;
        const char* log;               // a line the decoder must write, or nullptr
    } cases[] = {
        {"completed", envelope({message({outputText(text(record(" Привет! ")))})}), " Привет! ", {}, nullptr},
        {"reasoning, then the message", envelope({reasoning, message({outputText(text(record()))})}),
         "Привет! Буду в пять.", {}, nullptr},
        {"two message items: the second", envelope({message({outputText(text(record("раз")))}),
                                                    message({outputText(text(record("два")))})}),
         "два", {}, nullptr},
        {"cut by the output limit",
         envelope({reasoning, message({outputText("{\"action_")})}, "incomplete",
                  {{"incomplete_details", QJsonObject{{"reason", "max_output_tokens"}}}}),
         {}, {Kind::truncated, 0, "упёрлись в потолок размера"},
         "Quick Reply: ответ оборван (max_output_tokens), пришло: [reasoning, message]"},
        {"cut for no named reason", envelope({reasoning}, "incomplete"), {}, {Kind::truncated, 0, ""},
         "Quick Reply: ответ оборван (причина не названа), пришло: [reasoning]"},
        {"cut for another reason", envelope({}, "incomplete", {{"incomplete_details", QJsonObject{{"reason", "content_filter"}}}}),
         {}, {Kind::truncated, 0, "content_filter"}, nullptr},
        {"a refusal after a text", envelope({message({outputText(text(record())), QJsonObject{{"type", "refusal"},
                                                                                             {"refusal", "не буду"}}})}),
         {}, {Kind::refusal, 0, "не буду"}, nullptr},
        {"reasoning only, no status", envelope({reasoning}, QJsonValue::Undefined), {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: сообщения в ответе нет, статус ?, пришло: [reasoning]"},
        {"no output array", R"({"status":"completed"})", {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: в ответе нет массива output — тело 22 байт"},
        {"body not JSON", "Bad Gateway", {}, {Kind::invalidResponse, 0, {}}, nullptr},
        {"a missing key", envelope({message({outputText(text(withoutWarning))})}), {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: текст ответа не сошёлся со схемой (нет ключа «warning» в ), "},
        {"output text not JSON", envelope({message({outputText("Привет")})}), {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: текст ответа не сошёлся со схемой (текст не JSON: "},
        {"a proposal of an unknown kind", envelope({message({outputText(text(badKind))})}), {}, {Kind::invalidResponse, 0, {}},
         "не сошёлся со схемой (текст не JSON: нет такого вида действия: payment), "},
        {"actions null", envelope({message({outputText(text(nullActions))})}), "Привет! Буду в пять.", {}, nullptr},
        {"actions given", envelope({message({outputText(text(withActions))})}), "Привет! Буду в пять.", {}, nullptr},
        {"spaces only", envelope({message({outputText(text(record(" \n ")))})}), {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: ответ пуст при статусе completed"},
        {"8000 characters pass", envelope({message({outputText(text(record(QString(8000, u'я'))))})}),
         QString(8000, u'я'), {}, nullptr},
        {"8001 fail", envelope({message({outputText(text(record(QString(8001, u'я'))))})}), {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: ответ длиннее потолка — 8001 симв. при 8000"},
        {"a title that cleans to nothing", envelope({message({outputText(text(untitled))})}), {}, {Kind::invalidResponse, 0, {}},
         "Quick Reply: action_title is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestEnvironment env;
        const auto outcome = QuickReplyResult::decodeResponse(c.body);
        if (c.reply) {
            ASSERT_TRUE(std::holds_alternative<QuickReplyResult>(outcome));
            EXPECT_EQ(std::get<QuickReplyResult>(outcome).reply, *c.reply);
        } else {
            ASSERT_TRUE(std::holds_alternative<QuickReplyError>(outcome));
            EXPECT_EQ(std::get<QuickReplyError>(outcome), c.error);
        }
        if (c.log) {
            EXPECT_TRUE(env.logContains(QString::fromUtf8(c.log))) << env.logText().toStdString();
        }
    }
}

TEST(QuickReplyDecode, RecordFieldsAndWhyItFailed) {
    QJsonObject full = record();
    full.insert("actions", QJsonArray{QJsonObject{{"kind", "booking_research"},
                                                  {"title", "Столик"},
                                                  {"details", "на двоих"},
                                                  {"starts_at", ""},
                                                  {"source_quote", "поужинаем"}}});
    const auto decoded = QuickReplyResult::fromJson(full);
    ASSERT_TRUE(std::holds_alternative<QuickReplyResult>(decoded));
    EXPECT_EQ(std::get<QuickReplyResult>(decoded),
              (QuickReplyResult{"Ответ про встречу", "Привет! Буду в пять.", "ru", false, "",
                                {{CodexActionProposal::Kind::bookingResearch, "Столик", "на двоих", "", "поужинаем"}}}));

    const auto why = [](QJsonObject o) {
        const auto r = QuickReplyResult::fromJson(o);
        return std::holds_alternative<JSONDecodingFailure>(r)
                   ? QuickReplyResult::decodeWhy(std::get<JSONDecodingFailure>(r))
                   : QString("decoded");
    };
    QJsonObject o = record();
    o.remove("reply");
    o.remove("warning");
    EXPECT_EQ(why(o), "нет ключа «reply» в ");  // the first missing key in field order
    o = record();
    o.insert("needs_confirmation", "false");
    EXPECT_EQ(why(o), "не тот тип (Bool) в needs_confirmation");
    o = record();
    o.insert("warning", QJsonValue::Null);
    EXPECT_EQ(why(o), "пусто (String) в warning");
    o = record();
    o.insert("actions", QJsonArray{QJsonObject{{"kind", "reminder"}, {"title", 3}}});
    EXPECT_EQ(why(o), "не тот тип (String) в actions.0.title");
    o.insert("actions", QJsonArray{QJsonObject{{"kind", "reminder"}, {"title", "t"}}});
    EXPECT_EQ(why(o), "нет ключа «details» в actions.0");
    const auto notJson = QuickReplyResult::fromJson(QByteArray("{\"reply\": "));
    ASSERT_TRUE(std::holds_alternative<JSONDecodingFailure>(notJson));
    EXPECT_TRUE(QuickReplyResult::decodeWhy(std::get<JSONDecodingFailure>(notJson)).startsWith("текст не JSON: "));
}

TEST(QuickReplyDecode, ErrorTexts) {
    const struct {
        QuickReplyError error;
        const char* text;
    } cases[] = {
        {{Kind::transport, 0, "нет сети"}, "Нет связи с сервисом ответов: нет сети"},
        {{Kind::api, 401, "x"}, "Ключ для облачных ответов не принят. Проверь его в настройках."},
        {{Kind::api, 429, "x"}, "Лимит облачных ответов исчерпан или запросов слишком много. Попробуй позже."},
        {{Kind::api, 500, "x"}, "Сервис ответов вернул ошибку 500: x"},
        {{Kind::refusal, 0, "нет"}, "Модель не подготовила ответ: нет"},
        {{Kind::truncated, 0, "упёрлись в потолок размера"},
         "Ответ не поместился в отведённый размер (упёрлись в потолок размера). Попробуй выделить кусок покороче или "
         "переспросить короче."},
        {{Kind::truncated, 0, ""},
         "Ответ не поместился в отведённый размер. Попробуй выделить кусок покороче или переспросить короче."},
        {{Kind::missingKey, 0, {}}, "Ключ для облачных ответов не настроен."},
        {{Kind::invalidRequest, 0, {}}, "Не удалось подготовить запрос."},
        {{Kind::invalidResponse, 0, {}}, "Сервис ответов вернул непонятный ответ. Попробуй ещё раз."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.errorDescription(), QString::fromUtf8(c.text));
}

}  // namespace
