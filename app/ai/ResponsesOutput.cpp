#include "ai/ResponsesOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace murmelo {

ResponsesOutput ResponsesOutput::walk(const QJsonObject& response, MalformedText malformed) {
    ResponsesOutput out;
    const QJsonValue output = response.value(QStringLiteral("output"));
    if (!output.isArray()) return out;
    const QJsonArray items = output.toArray();
    for (const QJsonValue& item : items)
        if (!item.isObject()) return out;
    out.hasOutputArray = true;
    for (const QJsonValue& item : items) {
        const QJsonValue type = item.toObject().value(QStringLiteral("type"));
        if (type.isString()) out.itemTypes << type.toString();
    }
    for (const QJsonValue& itemValue : items) {
        const QJsonObject item = itemValue.toObject();
        if (item.value(QStringLiteral("type")).toString() != QLatin1String("message")) continue;
        const QJsonValue content = item.value(QStringLiteral("content"));
        if (!content.isArray()) continue;
        const QJsonArray parts = content.toArray();
        if (std::any_of(parts.begin(), parts.end(), [](const QJsonValue& p) { return !p.isObject(); })) continue;
        for (const QJsonValue& partValue : parts) {
            const QJsonObject part = partValue.toObject();
            const QString partType = part.value(QStringLiteral("type")).toString();
            if (partType == QLatin1String("refusal")) {
                const QJsonValue text = part.value(QStringLiteral("refusal"));
                out.refusal = text.isString() ? text.toString() : QStringLiteral("запрос отклонён");
                out.outputText.reset();
                return out;
            }
            if (partType != QLatin1String("output_text")) continue;
            const QJsonValue text = part.value(QStringLiteral("text"));
            if (text.isString()) out.outputText = text.toString();
            else if (malformed == MalformedText::clears) out.outputText.reset();
        }
    }
    return out;
}

QJsonObject strictAnswerSchema(const QString& textKey) {
    const auto typed = [](const char* type) { return QJsonObject{{QStringLiteral("type"), QString::fromLatin1(type)}}; };
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"),
         QJsonObject{{QStringLiteral("action_title"), typed("string")},
                     {textKey, typed("string")},
                     {QStringLiteral("output_language"), typed("string")},
                     {QStringLiteral("needs_confirmation"), typed("boolean")},
                     {QStringLiteral("warning"), typed("string")}}},
        {QStringLiteral("required"), QJsonArray{QStringLiteral("action_title"), textKey, QStringLiteral("output_language"),
                                                QStringLiteral("needs_confirmation"), QStringLiteral("warning")}},
        {QStringLiteral("additionalProperties"), false},
    };
}

QString responsesErrorMessage(const QByteArray& body) {
    const QJsonValue message =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toObject().value(QStringLiteral("message"));
    return message.isString() ? message.toString() : QStringLiteral("неизвестная ошибка");
}

}  // namespace murmelo
