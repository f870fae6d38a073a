#pragma once
#include "ai/CloudTransport.h"
#include "ai/QuickActionID.h"

#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

namespace murmelo {

struct QuickActionTransformResult {
    QString actionTitle;  // cleaned to one line, never empty
    QString text;         // trimmed, 1 to 20000 characters
    QString outputLanguage;
    bool needsConfirmation = false;
    QString warning;  // trimmed
    bool operator==(const QuickActionTransformResult&) const = default;
};

// A failure the user reads: each case has its fixed Russian text.
struct QuickActionAPIError {
    enum class Kind { transport, api, refusal, missingKey, invalidRequest, invalidResponse };
    Kind kind = Kind::invalidResponse;
    int status = 0;   // api
    QString message;  // transport: the transport's words; api: the service's message; refusal: the model's
    QString errorDescription() const;
    bool operator==(const QuickActionAPIError&) const = default;
};

using QuickActionOutcome = std::variant<QuickActionTransformResult, QuickActionAPIError>;

// One cloud request per Quick Action: instructions, the selection in a small JSON record and a
// strict answer schema, on the route AIProvider chooses. Main thread only.
class QuickActionAPIClient {
public:
    static QuickActionAPIClient& shared();

    static constexpr int MAX_SELECTION_CHARACTERS = 20000;
    static constexpr int MAX_OUTPUT_TOKENS = 1800;

    using Completion = std::function<void(const QuickActionOutcome&)>;
    // A dry run: handed the finished request body, nothing is sent and nothing completes.
    using PayloadObserver = std::function<void(const QJsonObject&)>;

    static std::optional<QString> instruction(QuickActionID action) { return QuickActionIDs::instruction(action); }

    // A failure found before sending completes before this returns, and gives no task; the
    // outcome of a sent request arrives later on the main queue.
    std::optional<CloudTask> transform(const QString& text, QuickActionID action, const QString& model,
                                       const PayloadObserver& payloadObserver, Completion completion);

    static QuickActionOutcome decodeResponse(const QByteArray& body);

    // Certificates trusted besides the system's (tests).
    void setExtraCertificates(const QList<QSslCertificate>& certificates) { transport_.setExtraCertificates(certificates); }

private:
    QuickActionAPIClient() = default;
    CloudTransport transport_;
};

}  // namespace murmelo
