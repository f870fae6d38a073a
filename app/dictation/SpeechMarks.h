#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

namespace murmelo {

// The recogniser's confidence in a reply: the detected language's probability and the
// words' probabilities (-1 for what the reply does not carry).
struct SpeechMarks {
    double langp = -1;
    double wordMean = -1;
    double wordLow = -1;
    QString line() const;
};

// Readers of a recognition reply (the server's verbose JSON or the transducer's document).
// Pure; a malformed reply falls back as each says and never fails loudly.

// None when the reply has no segments.
std::optional<SpeechMarks> speechMarks(const std::optional<QByteArray>& reply);
std::optional<QString> detectedLanguage(const std::optional<QByteArray>& reply);
// Seconds of the recording that were speech, short pauses credited; the whole audio when
// the reply tells nothing about timing.
double speechWorkSeconds(const std::optional<QByteArray>& reply, double audioSeconds);

}  // namespace murmelo
