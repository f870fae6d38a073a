#pragma once
#include "ai/OpenAIKeychain.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <optional>

namespace murmelo {

// The two ways to the cloud model service.
enum class AIRoute {
    userKey,     // the service's Responses endpoint with a bearer key (the default)
    ownBackend,  // the user's own server, no key
};

// Why a cloud request cannot be built; the texts are shown as they are.
enum class AIProviderError {
    missingKey,
    backendNotConfigured,
};
QString errorDescription(AIProviderError error);

// A cloud request ready to send, without its body: the caller sets the JSON body and sends it
// through CloudTransport.
struct AIRequest {
    QUrl url;
    QByteArray method = "POST";
    QList<QPair<QByteArray, QByteArray>> headers;  // in the order they were set
    // One time-out rule for every cloud call: the transfer is abandoned after this long without
    // a byte moving, and in any case once the whole exchange has taken the deadline.
    double idleTimeoutSeconds = 0;
    double deadlineSeconds = 0;

    std::optional<QByteArray> header(const QByteArray& name) const;
};

// Models of the cloud calls, fixed at build time.
inline const QString MURMELO_AI_QUALITY_MODEL = QStringLiteral("gpt-5.6-terra");
inline const QString MURMELO_AI_FAST_MODEL = QStringLiteral("gpt-5.6-luna");
inline QString quickReplyModel() { return MURMELO_AI_QUALITY_MODEL; }

// Every authorised cloud request is built here. Holds no state: the route and the backend
// address are read from the defaults at every call, the key through the key store.
// Callable from any thread.
namespace AIProvider {

inline const QString ROUTE_KEY = QStringLiteral("murmelo.ai.route");
inline const QString BACKEND_URL_KEY = QStringLiteral("murmelo.ai.backendURL");
// The Responses endpoint's path on the service's host.
inline const QString RESPONSES_PATH = QStringLiteral("/v1/responses");
// Overrides the build's host of the endpoint (mirrors, tests): "host", "host:port", or an
// address with its scheme; plain http only for a loopback host.
inline const char* HOST_ENVIRONMENT = "MURMELO_AI_HOST";

constexpr double IDLE_TIMEOUT_SECONDS = 30.0;
constexpr double DEADLINE_SECONDS = 40.0;

AIRoute route();
void setRoute(AIRoute route);
// The own backend's base address: the stored text as it is, only when it parses and its scheme
// is exactly "https" with a host.
std::optional<QUrl> backendURL();
std::optional<QString> userKey();
AIKeySource keySource();

// The cloud service's Responses endpoint: the build's host, or the override's.
QUrl defaultUpstream();
// The same from given values, for tests: an override that is not usable leaves the build's host.
QUrl upstreamFor(const QString& buildHost, const QString& overrideValue);

struct RequestResult {
    std::optional<AIRequest> request;
    std::optional<AIProviderError> error;
};
RequestResult request(const QString& path, const QUrl& upstream);

bool isReady();
QString notReadyMessage();

// Whether a host is this machine: the only place plain http may go.
bool isLoopbackHost(const QString& host);

}  // namespace AIProvider

}  // namespace murmelo
