#pragma once
#include "dictation/LoopbackHttp.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

namespace murmelo {

// A form field of a recognition request: name and value.
using FormField = std::pair<QString, QString>;

// The recognition endpoint: MURMELO_SERVER when set, else the local server's /inference.
// Read once.
QUrl SERVER();
// The local server's port; the readiness probe always asks this port.
inline constexpr quint16 SERVER_PORT = 8910;

namespace WhisperRequest {

// The multipart body: the WAV as the part "file" first, then the fields in order.
QByteArray multipartBody(const QString& boundary, const QString& filename, const QByteArray& audio,
                         const QList<FormField>& fields);
// A caller's prefix followed by a fresh upper-case UUID.
QString boundary(const QString& prefix);
QByteArray contentType(const QString& boundary);

// The vocabulary prompt as a dictation sends it: trimmed, ending with ".".
QString dictationPrompt(const QString& vocabularyPrompt);
// A dictation's fields: the language only when one is pinned, the prompt only when there is one.
QList<FormField> dictationFields(const QString& vocabularyPrompt, const std::optional<QString>& language);
QList<FormField> warmupFields();

inline constexpr double DICTATION_TIMEOUT = 30;
inline constexpr double WARMUP_TIMEOUT = 60;

}  // namespace WhisperRequest

// A dictation's recognition, as the transcription pipeline receives it.
struct RecognitionReply {
    bool transportOK = false;  // bytes arrived (an HTTP response of any status)
    int status = 0;
    QByteArray bytes;
    QString text;     // reassemble
    QString raw;      // reassembleRaw
    // Why this dictation failed to be recognised: no answer, an HTTP error status, or a reply
    // that is not a JSON object (malformed or cut off). Empty when the reply was read.
    QString failure;
    bool ok() const { return failure.isEmpty(); }
};

// Sends a dictation's WAV and reads the reply. Blocks; never on the main thread.
RecognitionReply recognizeDictation(const QByteArray& wav, const QString& vocabularyPrompt,
                                    const std::optional<QString>& language, const QUrl& endpoint = SERVER());
// Reads reply bytes that arrived with an HTTP status.
RecognitionReply readRecognitionReply(int status, const QByteArray& bytes);

}  // namespace murmelo
