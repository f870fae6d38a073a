#include "dictation/WhisperRequest.h"

#include "dictation/WhisperReply.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QUuid>

namespace murmelo {

QUrl SERVER() {
    static const QUrl url = [] {
        const QByteArray fromEnv = qgetenv("MURMELO_SERVER");
        return QUrl(fromEnv.isEmpty() ? QStringLiteral("http://127.0.0.1:8910/inference") : QString::fromUtf8(fromEnv));
    }();
    return url;
}

namespace WhisperRequest {

QByteArray multipartBody(const QString& boundary, const QString& filename, const QByteArray& audio,
                         const QList<FormField>& fields) {
    const QByteArray b = boundary.toUtf8();
    QByteArray body;
    body.reserve(audio.size() + 512);
    body += "--" + b + "\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"" + filename.toUtf8() + "\"\r\n";
    body += "Content-Type: audio/wav\r\n\r\n";
    body += audio;
    body += "\r\n";
    for (const FormField& field : fields) {
        body += "--" + b + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + field.first.toUtf8() + "\"\r\n\r\n";
        body += field.second.toUtf8();
        body += "\r\n";
    }
    body += "--" + b + "--\r\n";
    return body;
}

QString boundary(const QString& prefix) {
    return prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QByteArray contentType(const QString& boundary) { return "multipart/form-data; boundary=" + boundary.toUtf8(); }

QString dictationPrompt(const QString& vocabularyPrompt) {
    QString prompt = vocabularyPrompt.trimmed();
    if (!prompt.isEmpty() && !prompt.endsWith(u'.')) prompt += u'.';
    return prompt;
}

QList<FormField> dictationFields(const QString& vocabularyPrompt, const std::optional<QString>& language) {
    QList<FormField> fields{{QStringLiteral("response_format"), QStringLiteral("verbose_json")},
                            {QStringLiteral("temperature"), QStringLiteral("0")},
                            {QStringLiteral("beam_size"), QStringLiteral("5")}};
    if (language) fields.append({QStringLiteral("language"), *language});
    const QString prompt = dictationPrompt(vocabularyPrompt);
    if (!prompt.isEmpty()) {
        fields.append({QStringLiteral("prompt"), prompt});
        fields.append({QStringLiteral("carry_initial_prompt"), QStringLiteral("true")});
    }
    return fields;
}

QList<FormField> warmupFields() {
    return {{QStringLiteral("response_format"), QStringLiteral("text")},
            {QStringLiteral("temperature"), QStringLiteral("0")},
            {QStringLiteral("vad_threshold"), QStringLiteral("0.01")}};
}

}  // namespace WhisperRequest

RecognitionReply readRecognitionReply(int status, const QByteArray& bytes) {
    RecognitionReply reply;
    reply.transportOK = true;
    reply.status = status;
    reply.bytes = bytes;
    reply.text = reassemble(bytes);
    reply.raw = reassembleRaw(bytes);
    if (status < 200 || status > 299) {
        reply.failure = QStringLiteral("сервер распознавания ответил HTTP ") + QString::number(status);
        return reply;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        reply.failure = QStringLiteral("ответ сервера распознавания не разобран (") + QString::number(bytes.size()) +
                        QStringLiteral(" байт): ") +
                        (error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("не объект JSON"));
    return reply;
}

RecognitionReply recognizeDictation(const QByteArray& wav, const QString& vocabularyPrompt,
                                    const std::optional<QString>& language, const QUrl& endpoint) {
    const QString b = WhisperRequest::boundary(QStringLiteral("Boundary-kelpor-"));
    const QByteArray body = WhisperRequest::multipartBody(b, QStringLiteral("rec.wav"), wav,
                                                          WhisperRequest::dictationFields(vocabularyPrompt, language));
    const HttpResult http = loopbackHttp("POST", endpoint, WhisperRequest::contentType(b), body,
                                         WhisperRequest::DICTATION_TIMEOUT, WhisperRequest::DICTATION_TIMEOUT);
    if (!http.responded) {
        RecognitionReply reply;
        reply.failure = QStringLiteral("сервер распознавания не ответил: ") + http.error;
        return reply;
    }
    return readRecognitionReply(http.status, http.body);
}

}  // namespace murmelo
