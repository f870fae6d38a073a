#pragma once
#include "ai/CloudTransport.h"
#include "ai/QuickReplyResult.h"
#include "reply/ReplyProfile.h"
#include "reply/ScreenContext.h"

#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

namespace murmelo {

enum class ReplyTaskKind;

using QuickReplyOutcome = std::variant<QuickReplyResult, QuickReplyError>;

// Screen reply's cloud route: one Responses request with a strict answer schema, its
// instructions chosen by the task and shaped by the reply profile and the personalisation
// rule, on the route AIProvider chooses. Main thread only.
class OpenAIQuickReplyClient {
public:
    static OpenAIQuickReplyClient& shared();

    static constexpr int MAX_OUTPUT_TOKENS = 1200;
    static inline const QString SCHEMA_NAME = QStringLiteral("murmelo_quick_reply");

    using Completion = std::function<void(const QuickReplyOutcome&)>;
    // A dry run: handed the finished request body, nothing is sent and nothing completes.
    using PayloadObserver = std::function<void(const QJsonObject&)>;

    // A failure found before sending completes before this returns and gives no task; the
    // outcome of a sent request arrives later on the main queue. No profile means the default
    // one.
    std::optional<CloudTask> createReply(const QString& context, const QString& intent, const QString& model,
                                         std::optional<ScreenContextSource> contextSource,
                                         const std::optional<ReplyProfile>& profile, ReplyTaskKind task,
                                         const std::optional<QString>& sourceLabel,
                                         const PayloadObserver& payloadObserver, Completion completion);

    // Certificates trusted besides the system's (tests).
    void setExtraCertificates(const QList<QSslCertificate>& certificates) { transport_.setExtraCertificates(certificates); }

private:
    OpenAIQuickReplyClient() = default;
    CloudTransport transport_;
};

}  // namespace murmelo
