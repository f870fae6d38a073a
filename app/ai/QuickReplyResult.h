#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

namespace murmelo {

// A follow-up the agent proposes beside its reply; nothing carries it out.
struct CodexActionProposal {
    enum class Kind { calendarEvent, reminder, contactLookup, bookingResearch };
    Kind kind = Kind::reminder;
    QString title;
    QString details;
    QString startsAt;  // ISO 8601, or empty
    QString sourceQuote;
    bool operator==(const CodexActionProposal&) const = default;
};

// Why a JSON record did not decode, in the terms the log reports.
struct JSONDecodingFailure {
    enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };
    Kind kind = Kind::dataCorrupted;
    QString typeName;     // the expected value's type: "String", "Bool", "Array", "Dictionary"
    QStringList path;     // keys and decimal array positions down to the failure
    QString key;          // keyNotFound
    QString description;  // dataCorrupted
};

// A failure of the cloud reply route, with the text the user reads.
struct QuickReplyError {
    enum class Kind { transport, api, refusal, truncated, missingKey, invalidRequest, invalidResponse };
    Kind kind = Kind::invalidResponse;
    int status = 0;   // api
    QString message;  // transport, api, refusal; truncated: the reason (may be empty)
    QString errorDescription() const;
    bool operator==(const QuickReplyError&) const = default;
};

// The one record a composed reply travels in, from the cloud or from the local agent.
struct QuickReplyResult {
    QString actionTitle;
    QString reply;
    QString outputLanguage;
    bool needsConfirmation = false;
    QString warning;
    QList<CodexActionProposal> actions;
    bool operator==(const QuickReplyResult&) const = default;

    static constexpr int MAX_REPLY_CHARACTERS = 8000;

    // The record from its JSON object: the keys in field order, the first missing or mistyped
    // one fails; "actions" absent or null is an empty list.
    static std::variant<QuickReplyResult, JSONDecodingFailure> fromJson(const QJsonObject& object);
    // The same from JSON text; text that is not a JSON object is dataCorrupted.
    static std::variant<QuickReplyResult, JSONDecodingFailure> fromJson(const QByteArray& text);

    // The body of a successful Responses call as a reply: truncation, refusal and the record's
    // checks (not empty, at most 8000 characters, a usable title). The returned record is the
    // model's own, untrimmed.
    static std::variant<QuickReplyResult, QuickReplyError> decodeResponse(const QByteArray& body);
    // A decoding failure in a few Russian words, for the log.
    static QString decodeWhy(const JSONDecodingFailure& failure);
};

}  // namespace murmelo
