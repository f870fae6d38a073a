#pragma once
#include "ai/QuickReplyResult.h"

#include <QJsonObject>
#include <QString>
#include <optional>
#include <variant>

namespace murmelo {

// What the agent is allowed to do for one reply, read from the spoken intent before it starts.
enum class CodexTaskMode { textOnly, actionExtraction, publicContactLookup, bookingResearch };

namespace CodexTaskModes {
CodexTaskMode classify(const QString& spokenIntent);
// The one line of the turn prompt that states the mode's limits.
QString promptRule(CodexTaskMode mode);
bool allowsWebSearch(CodexTaskMode mode);
}  // namespace CodexTaskModes

// The failures of the agent bridge. The message the user reads never carries the detail.
struct CodexBridgeError {
    enum class Kind { launchFailed, protocolFailure, unsafeTool, executableNotFound, notSignedIn, invalidResponse, timedOut };
    Kind kind = Kind::invalidResponse;
    QString detail;  // launchFailed, protocolFailure, unsafeTool
    QString errorDescription() const;
    bool operator==(const CodexBridgeError&) const = default;
};

namespace CodexActionContract {
// The turn's output schema, built once and shared read-only.
const QJsonObject& schema();
// The agent's final message as a reply. Strict: anything but the whole record, an empty reply
// or one over the length limit is invalidResponse. Proposals always ask for confirmation and
// are counted in the warning.
std::variant<QuickReplyResult, CodexBridgeError> decodeFinalMessage(const std::optional<QString>& finalMessage);
}  // namespace CodexActionContract

}  // namespace murmelo
