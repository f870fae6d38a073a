#pragma once
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// What a Responses reply's "output" holds for the two cloud clients: its message items'
// refusal and output text. Reasoning and other items are skipped.
struct ResponsesOutput {
    bool hasOutputArray = false;       // "output" is an array of objects
    std::optional<QString> refusal;    // the first refusal met ends the walk
    std::optional<QString> outputText; // the last output text wins
    QStringList itemTypes;             // the items' "type" texts, in order

    enum class MalformedText {
        clears,   // an output_text part without a text leaves no text
        skipped,  // such a part is passed over
    };
    static ResponsesOutput walk(const QJsonObject& response, MalformedText malformed);
};

// The strict answer both cloud clients ask for: a title, the text under `textKey`, its
// language, whether it needs confirmation and a warning, all required, nothing else.
QJsonObject strictAnswerSchema(const QString& textKey);
// The message of an error status: the body's error.message when it is text, else
// "неизвестная ошибка".
QString responsesErrorMessage(const QByteArray& body);

}  // namespace murmelo
