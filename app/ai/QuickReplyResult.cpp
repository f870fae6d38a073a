#include "ai/QuickReplyResult.h"

#include "ai/CloudActionHistory.h"
#include "ai/ResponsesOutput.h"
#include "base/Graphemes.h"
#include "base/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace murmelo {
namespace {

using Failure = JSONDecodingFailure;

// Reads required members of one object in order, remembering the first failure.
class ObjectReader {
public:
    ObjectReader(const QJsonObject& object, QStringList path) : object_(object), path_(std::move(path)) {}

    QString string(const QString& key) {
        const QJsonValue v = member(key, QStringLiteral("String"));
        if (!v.isString()) {
            mismatch(key, QStringLiteral("String"), v);
            return {};
        }
        return v.toString();
    }
    bool boolean(const QString& key) {
        const QJsonValue v = member(key, QStringLiteral("Bool"));
        if (!v.isBool()) {
            mismatch(key, QStringLiteral("Bool"), v);
            return false;
        }
        return v.toBool();
    }
    bool failed() const { return failure_.has_value(); }
    const Failure& failure() const { return *failure_; }
    void fail(Failure f) {
        if (!failure_) failure_ = std::move(f);
    }
    QStringList pathTo(const QString& key) const { return path_ + QStringList{key}; }

private:
    QJsonValue member(const QString& key, const QString& typeName) {
        if (failure_) return {};
        if (!object_.contains(key)) {
            fail({Failure::Kind::keyNotFound, typeName, path_, key, {}});
            return {};
        }
        return object_.value(key);
    }
    void mismatch(const QString& key, const QString& typeName, const QJsonValue& v) {
        if (failure_) return;
        fail({v.isNull() ? Failure::Kind::valueNotFound : Failure::Kind::typeMismatch, typeName, pathTo(key), {}, {}});
    }

    const QJsonObject& object_;
    QStringList path_;
    std::optional<Failure> failure_;
};

std::optional<CodexActionProposal::Kind> proposalKind(const QString& raw) {
    if (raw == QLatin1String("calendar_event")) return CodexActionProposal::Kind::calendarEvent;
    if (raw == QLatin1String("reminder")) return CodexActionProposal::Kind::reminder;
    if (raw == QLatin1String("contact_lookup")) return CodexActionProposal::Kind::contactLookup;
    if (raw == QLatin1String("booking_research")) return CodexActionProposal::Kind::bookingResearch;
    return std::nullopt;
}

void readProposals(const QJsonObject& object, ObjectReader& reader, QList<CodexActionProposal>& into) {
    if (reader.failed()) return;
    const QJsonValue list = object.value(QStringLiteral("actions"));
    if (list.isUndefined() || list.isNull()) return;
    if (!list.isArray()) {
        reader.fail({Failure::Kind::typeMismatch, QStringLiteral("Array"), reader.pathTo(QStringLiteral("actions")), {}, {}});
        return;
    }
    const QJsonArray items = list.toArray();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QStringList here = reader.pathTo(QStringLiteral("actions")) + QStringList{QString::number(i)};
        if (!items[i].isObject()) {
            reader.fail({items[i].isNull() ? Failure::Kind::valueNotFound : Failure::Kind::typeMismatch,
                         QStringLiteral("Dictionary"), here, {}, {}});
            return;
        }
        const QJsonObject item = items[i].toObject();
        ObjectReader fields(item, here);
        CodexActionProposal p;
        const QString kind = fields.string(QStringLiteral("kind"));
        if (!fields.failed()) {
            if (const auto k = proposalKind(kind)) p.kind = *k;
            else
                fields.fail({Failure::Kind::dataCorrupted, {}, fields.pathTo(QStringLiteral("kind")), {},
                             QStringLiteral("нет такого вида действия: ") + kind});
        }
        p.title = fields.string(QStringLiteral("title"));
        p.details = fields.string(QStringLiteral("details"));
        p.startsAt = fields.string(QStringLiteral("starts_at"));
        p.sourceQuote = fields.string(QStringLiteral("source_quote"));
        if (fields.failed()) return reader.fail(fields.failure());
        into << p;
    }
}

QString joinedTypes(const ResponsesOutput& output) { return output.itemTypes.join(QStringLiteral(", ")); }

}  // namespace

QString QuickReplyError::errorDescription() const {
    switch (kind) {
    case Kind::transport: return QStringLiteral("Нет связи с сервисом ответов: ") + message;
    case Kind::api:
        if (status == 401) return QStringLiteral("Ключ для облачных ответов не принят. Проверь его в настройках.");
        if (status == 429)
            return QStringLiteral("Лимит облачных ответов исчерпан или запросов слишком много. Попробуй позже.");
        return QStringLiteral("Сервис ответов вернул ошибку ") + QString::number(status) + QStringLiteral(": ") + message;
    case Kind::refusal: return QStringLiteral("Модель не подготовила ответ: ") + message;
    case Kind::truncated:
        return QStringLiteral("Ответ не поместился в отведённый размер") +
               (message.isEmpty() ? QString() : QStringLiteral(" (") + message + u')') +
               QStringLiteral(". Попробуй выделить кусок покороче или переспросить короче.");
    case Kind::missingKey: return QStringLiteral("Ключ для облачных ответов не настроен.");
    case Kind::invalidRequest: return QStringLiteral("Не удалось подготовить запрос.");
    case Kind::invalidResponse: return QStringLiteral("Сервис ответов вернул непонятный ответ. Попробуй ещё раз.");
    }
    return {};
}

std::variant<QuickReplyResult, JSONDecodingFailure> QuickReplyResult::fromJson(const QJsonObject& object) {
    ObjectReader reader(object, {});
    QuickReplyResult r;
    r.actionTitle = reader.string(QStringLiteral("action_title"));
    r.reply = reader.string(QStringLiteral("reply"));
    r.outputLanguage = reader.string(QStringLiteral("output_language"));
    r.needsConfirmation = reader.boolean(QStringLiteral("needs_confirmation"));
    r.warning = reader.string(QStringLiteral("warning"));
    readProposals(object, reader, r.actions);
    if (reader.failed()) return reader.failure();
    return r;
}

std::variant<QuickReplyResult, JSONDecodingFailure> QuickReplyResult::fromJson(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure{Failure::Kind::dataCorrupted, {}, {}, {}, error.errorString()};
    if (!document.isObject()) return Failure{Failure::Kind::typeMismatch, QStringLiteral("Dictionary"), {}, {}, {}};
    return fromJson(document.object());
}

QString QuickReplyResult::decodeWhy(const JSONDecodingFailure& f) {
    const QString path = f.path.join(u'.');
    switch (f.kind) {
    case Failure::Kind::typeMismatch: return QStringLiteral("не тот тип (") + f.typeName + QStringLiteral(") в ") + path;
    case Failure::Kind::valueNotFound: return QStringLiteral("пусто (") + f.typeName + QStringLiteral(") в ") + path;
    case Failure::Kind::keyNotFound: return QStringLiteral("нет ключа «") + f.key + QStringLiteral("» в ") + path;
    case Failure::Kind::dataCorrupted: return QStringLiteral("текст не JSON: ") + f.description.left(60);
    }
    return QStringLiteral("неизвестный промах разбора");
}

std::variant<QuickReplyResult, QuickReplyError> QuickReplyResult::decodeResponse(const QByteArray& body) {
    const QuickReplyError invalid{QuickReplyError::Kind::invalidResponse, 0, {}};
    // A body that is not JSON at all reads as invalidResponse: the parser's English message
    // would tell the user nothing.
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isNull()) return invalid;
    const QJsonObject top = document.object();
    const ResponsesOutput output = ResponsesOutput::walk(top, ResponsesOutput::MalformedText::skipped);
    if (!document.isObject() || !output.hasOutputArray) {
        logLine(QStringLiteral("Quick Reply: в ответе нет массива output — тело ") + QString::number(body.size()) +
                QStringLiteral(" байт"));
        return invalid;
    }
    const QJsonValue statusValue = top.value(QStringLiteral("status"));
    const QString status = statusValue.isString() ? statusValue.toString() : QStringLiteral("?");
    std::optional<QString> reason;
    const QJsonValue reasonValue = top.value(QStringLiteral("incomplete_details")).toObject().value(QStringLiteral("reason"));
    if (reasonValue.isString()) reason = reasonValue.toString();
    if (status == QLatin1String("incomplete")) {
        logLine(QStringLiteral("Quick Reply: ответ оборван (") + reason.value_or(QStringLiteral("причина не названа")) +
                QStringLiteral("), пришло: [") + joinedTypes(output) + u']');
        const QString shown = reason == QStringLiteral("max_output_tokens") ? QStringLiteral("упёрлись в потолок размера")
                                                                            : reason.value_or(QString());
        return QuickReplyError{QuickReplyError::Kind::truncated, 0, shown};
    }
    if (output.refusal) return QuickReplyError{QuickReplyError::Kind::refusal, 0, *output.refusal};
    if (!output.outputText) {
        logLine(QStringLiteral("Quick Reply: сообщения в ответе нет, статус ") + status + QStringLiteral(", пришло: [") +
                joinedTypes(output) + u']');
        return invalid;
    }
    const auto decoded = fromJson(output.outputText->toUtf8());
    if (const auto* why = std::get_if<JSONDecodingFailure>(&decoded)) {
        logLine(QStringLiteral("Quick Reply: текст ответа не сошёлся со схемой (") + decodeWhy(*why) + QStringLiteral("), ") +
                QString::number(graphemeCount(*output.outputText)) + QStringLiteral(" симв."));
        return invalid;
    }
    const QuickReplyResult result = std::get<QuickReplyResult>(decoded);
    if (result.reply.trimmed().isEmpty()) {
        logLine(QStringLiteral("Quick Reply: ответ пуст при статусе ") + status);
        return invalid;
    }
    const int length = graphemeCount(result.reply);
    if (length > MAX_REPLY_CHARACTERS) {
        logLine(QStringLiteral("Quick Reply: ответ длиннее потолка — ") + QString::number(length) +
                QStringLiteral(" симв. при 8000"));
        return invalid;
    }
    if (CloudActionHistory::cleanTitle(result.actionTitle).isEmpty()) {
        logLine(QStringLiteral("Quick Reply: action_title is empty"));
        return invalid;
    }
    return result;
}

}  // namespace murmelo
