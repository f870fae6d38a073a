#include "ai/AIProvider.h"

#include "base/Defaults.h"

#include <QHostAddress>

#ifndef MURMELO_AI_HOST
#define MURMELO_AI_HOST "api.openai.com"
#endif

namespace murmelo {

QString errorDescription(AIProviderError error) {
    switch (error) {
    case AIProviderError::missingKey: return QStringLiteral("Сначала добавь ключ облачных ответов в настройках.");
    case AIProviderError::backendNotConfigured: return QStringLiteral("Сервер Murmelo не настроен.");
    }
    return {};
}

std::optional<QByteArray> AIRequest::header(const QByteArray& name) const {
    for (const auto& [n, v] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0) return v;
    return std::nullopt;
}

namespace AIProvider {
namespace {

bool ownBackendChosen() {
    return Defaults::shared().stringValue(ROUTE_KEY) == QStringLiteral("ownBackend");
}

AIRequest baseRequest(const QUrl& url) {
    AIRequest r;
    r.url = url;
    r.idleTimeoutSeconds = IDLE_TIMEOUT_SECONDS;
    r.deadlineSeconds = DEADLINE_SECONDS;
    r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    return r;
}

// The platform's append-path-component: one more segment after a separating slash.
QUrl appendingPathComponent(QUrl url, const QString& component) {
    QString path = url.path();
    if (!path.endsWith(u'/')) path += u'/';
    url.setPath(path + component);
    return url;
}

}  // namespace

AIRoute route() { return ownBackendChosen() ? AIRoute::ownBackend : AIRoute::userKey; }

void setRoute(AIRoute r) {
    Defaults::shared().set(ROUTE_KEY, r == AIRoute::ownBackend ? QStringLiteral("ownBackend") : QStringLiteral("userKey"));
}

std::optional<QUrl> backendURL() {
    const auto raw = Defaults::shared().stringValue(BACKEND_URL_KEY);
    if (!raw) return std::nullopt;
    // The scheme is compared on the text as stored: the parser would lower its case.
    if (!raw->startsWith(QLatin1String("https:"))) return std::nullopt;
    const QUrl url(*raw, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) return std::nullopt;
    return url;
}

std::optional<QString> userKey() {
    return resolveAIKeySource(OpenAIKeychain::shared().read(), BundledKey::value()).key;
}

AIKeySource keySource() { return resolveAIKeySource(OpenAIKeychain::shared().read(), BundledKey::value()).source; }

QUrl upstreamFor(const QString& buildHost, const QString& overrideValue) {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(buildHost);
    url.setPath(RESPONSES_PATH);
    const QString value = overrideValue.trimmed();
    if (value.isEmpty()) return url;
    const QUrl given(value.contains(QLatin1String("://")) ? value : QStringLiteral("https://") + value, QUrl::StrictMode);
    if (!given.isValid() || given.host().isEmpty()) return url;
    const bool secure = given.scheme() == QLatin1String("https");
    // A bearer key crosses the network only encrypted; plain http stays on this machine.
    if (!secure && !(given.scheme() == QLatin1String("http") && isLoopbackHost(given.host()))) return url;
    QUrl chosen;
    chosen.setScheme(given.scheme());
    chosen.setHost(given.host());
    chosen.setPort(given.port());
    chosen.setPath(RESPONSES_PATH);
    return chosen;
}

QUrl defaultUpstream() {
    return upstreamFor(QStringLiteral(MURMELO_AI_HOST), qEnvironmentVariable(HOST_ENVIRONMENT));
}

RequestResult request(const QString& path, const QUrl& upstream) {
    if (ownBackendChosen()) {
        const auto base = backendURL();
        if (!base) return {std::nullopt, AIProviderError::backendNotConfigured};
        return {baseRequest(appendingPathComponent(*base, path)), std::nullopt};
    }
    const auto key = userKey();
    if (!key) return {std::nullopt, AIProviderError::missingKey};
    AIRequest r = baseRequest(upstream);
    r.headers.append(qMakePair(QByteArray("Authorization"), "Bearer " + key->toUtf8()));
    return {r, std::nullopt};
}

bool isReady() {
    if (ownBackendChosen()) return backendURL().has_value();
    return userKey().has_value();
}

QString notReadyMessage() {
    return errorDescription(ownBackendChosen() ? AIProviderError::backendNotConfigured : AIProviderError::missingKey);
}

bool isLoopbackHost(const QString& host) {
    if (host == QLatin1String("localhost")) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

}  // namespace AIProvider
}  // namespace murmelo
