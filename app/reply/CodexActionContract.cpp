#include "reply/CodexActionContract.h"

#include "base/Graphemes.h"

#include <QJsonArray>

namespace murmelo {

namespace CodexTaskModes {

CodexTaskMode classify(const QString& spokenIntent) {
    const QString lowered = spokenIntent.toLower();
    // Russian phrases are word stems on purpose, so inflected forms match as well. Plain
    // substrings, no word boundaries; the first group with a hit decides.
    static const std::pair<CodexTaskMode, QStringList> groups[] = {
        {CodexTaskMode::bookingResearch,
         {QStringLiteral("заброни"), QStringLiteral("бронь"), QStringLiteral("подбери билет"), QStringLiteral("подбери отел"),
          QStringLiteral("book "), QStringLiteral("reservation"), QStringLiteral("reserve "), QStringLiteral("find a flight"),
          QStringLiteral("find a hotel")}},
        {CodexTaskMode::publicContactLookup,
         {QStringLiteral("найди контакт"), QStringLiteral("найди телефон"), QStringLiteral("найди email"),
          QStringLiteral("найди e-mail"), QStringLiteral("контакты компан"), QStringLiteral("телефон компан"),
          QStringLiteral("find contact"), QStringLiteral("contact details"), QStringLiteral("find the phone"),
          QStringLiteral("find email"), QStringLiteral("find e-mail")}},
        {CodexTaskMode::actionExtraction,
         {QStringLiteral("добавь в календар"), QStringLiteral("вытащи дат"), QStringLiteral("вытащи задач"),
          QStringLiteral("вытащи договор"), QStringLiteral("найди договор"), QStringLiteral("события и задачи"),
          QStringLiteral("напоминан"), QStringLiteral("calendar"), QStringLiteral("reminder"), QStringLiteral("extract dates"),
          QStringLiteral("extract tasks"), QStringLiteral("agreements"), QStringLiteral("add to calendar")}},
    };
    for (const auto& [mode, phrases] : groups)
        for (const QString& phrase : phrases)
            if (lowered.contains(phrase)) return mode;
    return CodexTaskMode::textOnly;
}

QString promptRule(CodexTaskMode mode) {
    switch (mode) {
    case CodexTaskMode::textOnly:
        return QStringLiteral("Return ready-to-review text. Do not propose or perform external actions.");
    case CodexTaskMode::actionExtraction:
        return QStringLiteral("Extract calendar events, reminders, tasks and agreements as typed proposals. Do not create them.");
    case CodexTaskMode::publicContactLookup:
        return QStringLiteral(
            "Search only for public business contact details. Cite the source in details. Do not contact anyone.");
    case CodexTaskMode::bookingResearch:
        return QStringLiteral(
            "Research bookable options and return a reviewable proposal. Never reserve, purchase, submit or log in.");
    }
    return {};
}

bool allowsWebSearch(CodexTaskMode mode) {
    return mode == CodexTaskMode::publicContactLookup || mode == CodexTaskMode::bookingResearch;
}

}  // namespace CodexTaskModes

QString CodexBridgeError::errorDescription() const {
    switch (kind) {
    case Kind::launchFailed: return QStringLiteral("Не удалось запустить локальную связь с Codex.");
    case Kind::protocolFailure: return QStringLiteral("Codex не смог обработать команду. Попробуй ещё раз.");
    case Kind::unsafeTool:
        return QStringLiteral("Команда остановлена: Codex попытался выйти за разрешённый безопасный режим.");
    case Kind::executableNotFound: return QStringLiteral("Codex не найден. Установи приложение Codex и попробуй снова.");
    case Kind::notSignedIn: return QStringLiteral("Войди в свою подписку в Codex и повтори команду.");
    case Kind::invalidResponse: return QStringLiteral("Codex вернул непонятный ответ. Попробуй ещё раз.");
    case Kind::timedOut: return QStringLiteral("Codex не успел ответить. Попробуй ещё раз.");
    }
    return {};
}

namespace CodexActionContract {

namespace {

QJsonObject typed(const char* type) { return QJsonObject{{QStringLiteral("type"), QString::fromLatin1(type)}}; }

QJsonObject buildSchema() {
    QJsonObject kind = typed("string");
    kind.insert(QStringLiteral("enum"), QJsonArray{QStringLiteral("calendar_event"), QStringLiteral("reminder"),
                                                   QStringLiteral("contact_lookup"), QStringLiteral("booking_research")});
    const QJsonObject item{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"),
         QJsonObject{{QStringLiteral("kind"), kind},
                     {QStringLiteral("title"), typed("string")},
                     {QStringLiteral("details"), typed("string")},
                     {QStringLiteral("starts_at"), typed("string")},
                     {QStringLiteral("source_quote"), typed("string")}}},
        {QStringLiteral("required"), QJsonArray{QStringLiteral("kind"), QStringLiteral("title"), QStringLiteral("details"),
                                                QStringLiteral("starts_at"), QStringLiteral("source_quote")}},
        {QStringLiteral("additionalProperties"), false}};
    QJsonObject actions = typed("array");
    actions.insert(QStringLiteral("maxItems"), 20);
    actions.insert(QStringLiteral("items"), item);
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"),
         QJsonObject{{QStringLiteral("action_title"), typed("string")},
                     {QStringLiteral("reply"), typed("string")},
                     {QStringLiteral("output_language"), typed("string")},
                     {QStringLiteral("needs_confirmation"), typed("boolean")},
                     {QStringLiteral("warning"), typed("string")},
                     {QStringLiteral("actions"), actions}}},
        {QStringLiteral("required"),
         QJsonArray{QStringLiteral("action_title"), QStringLiteral("reply"), QStringLiteral("output_language"),
                    QStringLiteral("needs_confirmation"), QStringLiteral("warning"), QStringLiteral("actions")}},
        {QStringLiteral("additionalProperties"), false}};
}

}  // namespace

const QJsonObject& schema() {
    static const QJsonObject built = buildSchema();
    return built;
}

std::variant<QuickReplyResult, CodexBridgeError> decodeFinalMessage(const std::optional<QString>& finalMessage) {
    const CodexBridgeError invalid{CodexBridgeError::Kind::invalidResponse, {}};
    if (!finalMessage) return invalid;
    const auto decoded = QuickReplyResult::fromJson(finalMessage->toUtf8());
    const auto* record = std::get_if<QuickReplyResult>(&decoded);
    if (!record) return invalid;
    if (record->reply.trimmed().isEmpty()) return invalid;
    if (graphemeCount(record->reply) > QuickReplyResult::MAX_REPLY_CHARACTERS) return invalid;
    if (record->actions.isEmpty()) return *record;
    QuickReplyResult result = *record;
    result.needsConfirmation = true;
    QStringList parts;
    if (const QString own = record->warning.trimmed(); !own.isEmpty()) parts << own;
    parts << QStringLiteral("Найдено предложений: ") + QString::number(record->actions.size()) +
                 QStringLiteral(". Пока ничего не выполнено.");
    result.warning = parts.join(u' ');
    return result;
}

}  // namespace CodexActionContract

}  // namespace murmelo
