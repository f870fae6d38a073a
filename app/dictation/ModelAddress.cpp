#include "dictation/ModelAddress.h"

#include <QHostAddress>

namespace murmelo {
namespace {

bool isLoopback(const QUrl& url) {
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isHttps(const QUrl& url) { return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0; }
bool isHttp(const QUrl& url) { return url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0; }

// Storage hosts sign their addresses in the query: the log gets the address without it.
QString shown(const QUrl& url) {
    return url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

}  // namespace

QString modelAddress(const char* buildHost, const char* publicHost, const QString& path) {
    const QString host = QString::fromLatin1(buildHost);
    return QStringLiteral("https://") + (host.isEmpty() ? QString::fromLatin1(publicHost) : host) + path;
}

bool isPermittedModelAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    return isHttps(url) || (isHttp(url) && isLoopback(url));
}

ModelSource modelDownloadSource(const QUrl& published) {
    ModelSource source{published, std::nullopt};
    if (published.isEmpty() || !published.isValid()) {
        source.refusal = QStringLiteral("адрес загрузки модели не задан");
        return source;
    }
    const QString mirrorText = qEnvironmentVariable(MODEL_MIRROR_ENV).trimmed();
    if (!mirrorText.isEmpty()) {
        // Only scheme and host: a path here would silently change where every file is looked for.
        const QUrl mirror(mirrorText, QUrl::StrictMode);
        const bool bare = (mirror.path().isEmpty() || mirror.path() == QLatin1String("/")) && !mirror.hasQuery() &&
                          !mirror.hasFragment();
        if (!mirror.isValid() || !(isHttps(mirror) || isHttp(mirror)) || mirror.host().isEmpty() || !bare) {
            source.refusal = QString::fromLatin1(MODEL_MIRROR_ENV) +
                             QStringLiteral(" не подходит: нужен адрес вида https://хост[:порт], а задано «") +
                             mirrorText + QStringLiteral("»");
            return source;
        }
        source.url.setScheme(mirror.scheme());
        source.url.setAuthority(mirror.authority());
    }
    if (!isPermittedModelAddress(source.url))
        source.refusal = QStringLiteral("адрес загрузки модели отклонён: модели качаются только по https "
                                        "(по http — только с этого компьютера): ") +
                         shown(source.url);
    return source;
}

std::optional<QString> modelRedirectRefusal(const QUrl& from, const QUrl& to) {
    if (isPermittedModelAddress(to) && !(isHttps(from) && !isHttps(to))) return std::nullopt;
    return QStringLiteral("перенаправление отклонено: модели качаются только по https "
                          "(по http — только с этого компьютера): ") +
           shown(to);
}

}  // namespace murmelo
