#include "dictation/OndrixBridge.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "dictation/LoopbackHttp.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QRegularExpression>
#include <QUuid>
#include <thread>

namespace murmelo {

namespace {

const QStringList& prefixes() {
    static const QStringList list{QStringLiteral("онди"), QStringLiteral("ондрикс"), QStringLiteral("ондрис"),
                                  QStringLiteral("ondrix")};
    return list;
}

bool isBoundary(QChar c) {
    return c.isSpace() || c == u',' || c == u'.' || c == u':' || c == u';' || c == QChar(0x2014) || c == u'-';
}

QString trimBoundary(const QString& s) {
    qsizetype from = 0, to = s.size();
    while (from < to && isBoundary(s[from])) ++from;
    while (to > from && isBoundary(s[to - 1])) --to;
    return s.mid(from, to - from);
}

// A JSON string literal, escaped by the JSON writer itself.
QByteArray jsonString(const QString& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

}  // namespace

OndrixBridge& OndrixBridge::shared() {
    static OndrixBridge bridge;
    return bridge;
}

OndrixBridge::OndrixBridge() : endpoint(QStringLiteral("http://127.0.0.1:8913/v1/transcripts")) {}

std::optional<QString> OndrixBridge::addressedCommand(const QString& text) {
    const QString trimmed = text.trimmed();
    const QString lower = trimmed.toLower();
    for (const QString& word : prefixes()) {
        if (!lower.startsWith(word)) continue;
        const qsizetype at = word.size();
        // A character of two code units (outside the basic plane) is never a boundary.
        if (at < trimmed.size() && (trimmed[at].isHighSurrogate() || !isBoundary(trimmed[at]))) continue;
        const QString rest = trimBoundary(trimmed.mid(at));
        if (rest.isEmpty()) return std::nullopt;
        return rest;
    }
    return std::nullopt;
}

QString OndrixBridge::tokenPath() {
    return Folders::join(Folders::join(Folders::join(Folders::applicationSupport(), QStringLiteral("Ondrix")),
                                       QStringLiteral("voice-bridge")),
                         QStringLiteral("token-v1"));
}

std::optional<QString> OndrixBridge::readToken() {
    QFile file(tokenPath());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString token = QString::fromUtf8(file.readAll()).trimmed();
    static const QRegularExpression form(QStringLiteral("^[a-f0-9]{64}$"));
    if (!form.match(token).hasMatch()) return std::nullopt;
    return token;
}

bool OndrixBridge::isAddressed(const QString& text) const { return addressedCommand(text).has_value(); }

void OndrixBridge::routeIfAddressed(const QString& text, std::function<void(bool)> done) const {
    const auto remainder = addressedCommand(text);
    if (!remainder) {
        done(false);
        return;
    }
    const auto token = graphemeCount(*remainder) > MAX_TRANSCRIPT ? std::nullopt : readToken();
    if (!token) {
        logLine(QStringLiteral("Ondrix bridge: токен недоступен — обычная вставка"));
        done(false);
        return;
    }
    // Written by hand: the members keep their order, which a JSON object would sort.
    const QList<QPair<QString, QString>> members{
        {QStringLiteral("schemaVersion"), QStringLiteral("1")},
        {QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("source"), QStringLiteral("com.local.murmelo")},
        {QStringLiteral("transcript"), *remainder},
        {QStringLiteral("occurredAt"), QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))},
    };
    QByteArray body = "{";
    for (const auto& [name, value] : members) {
        if (body.size() > 1) body += ',';
        body += jsonString(name) + ':' + jsonString(value);
    }
    body += '}';
    const HttpHeaders headers{{"X-Ondrix-Voice-Token", token->toLatin1()},
                              {"Content-Length", QByteArray::number(body.size())}};

    MainQueue& main = MainQueue::shared();
    std::thread([&main, url = endpoint, body, headers, request = requestTimeout, resource = resourceTimeout,
                 done = std::move(done)]() mutable {
        const HttpResult result = loopbackHttp("POST", url, "application/json", body, request, resource, headers);
        const bool delivered = result.responded && result.status == 202;
        main.post([delivered, done = std::move(done)] {
            logLine(delivered ? QStringLiteral("Ondrix bridge: адресная команда доставлена")
                              : QStringLiteral("Ondrix bridge: недоступен — обычная вставка"));
            done(delivered);
        });
    }).detach();
}

}  // namespace murmelo
