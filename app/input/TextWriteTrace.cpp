#include "input/TextWriteTrace.h"

#include "base/Defaults.h"
#include "base/DefaultsCache.h"
#include "base/Log.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include "base/Graphemes.h"
#include <QTimeZone>

#include <array>
#include <cstring>
#include <mutex>

namespace murmelo {
namespace {

struct OriginName {
    TextWriteOrigin origin;
    const char* raw;
};
constexpr std::array<OriginName, 15> ORIGINS = {{
    {TextWriteOrigin::dictation, "dictation"},
    {TextWriteOrigin::dictationRepair, "dictation-repair"},
    {TextWriteOrigin::voiceCommand, "voice-command"},
    {TextWriteOrigin::screenReply, "screen-reply"},
    {TextWriteOrigin::quickReply, "quick-reply"},
    {TextWriteOrigin::quickActions, "quick-actions"},
    {TextWriteOrigin::history, "history"},
    {TextWriteOrigin::layout, "layout"},
    {TextWriteOrigin::polish, "polish"},
    {TextWriteOrigin::polishRollback, "polish-rollback"},
    {TextWriteOrigin::polishRepair, "polish-repair"},
    {TextWriteOrigin::layoutUndo, "layout-undo"},
    {TextWriteOrigin::layoutUndoRepair, "layout-undo-repair"},
    {TextWriteOrigin::accessibility, "accessibility"},
    {TextWriteOrigin::unknown, "unknown"},
}};

struct RouteName {
    TextWriteRoute route;
    const char* raw;
};
constexpr std::array<RouteName, 6> ROUTES = {{
    {TextWriteRoute::directUnicode, "unicode"},
    {TextWriteRoute::clipboard, "clipboard"},
    {TextWriteRoute::accessibilitySelectedText, "ax-selected"},
    {TextWriteRoute::accessibilityValue, "ax-value"},
    {TextWriteRoute::backspace, "backspace"},
    {TextWriteRoute::keyEvent, "key-event"},
}};

std::mutex g_sequenceLock;
quint64 g_sequence = 0;

// 256 random bits drawn once; kept in memory only.
const QByteArray& processKey() {
    static const QByteArray key = [] {
        QByteArray k(32, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(k.data()), 8);
        return k;
    }();
    return key;
}

QString hmacHex(const QString& text, const QByteArray& key) {
    const QByteArray mac = QMessageAuthenticationCode::hash(text.toUtf8(), key, QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.left(8).toHex());
}

TextWriteTraceTarget targetFor(std::optional<AppIdentity> app) {
    TextWriteTraceTarget t;
    if (!app) return t;
    t.pid = qint32(app->pid);
    if (!app->bundleIdentifier.isEmpty()) t.bundleID = app->bundleIdentifier;
    return t;
}

}  // namespace

QString rawValue(TextWriteOrigin origin) {
    for (const auto& o : ORIGINS)
        if (o.origin == origin) return QString::fromLatin1(o.raw);
    return QStringLiteral("unknown");
}

QString rawValue(TextWriteRoute route) {
    for (const auto& r : ROUTES)
        if (r.route == route) return QString::fromLatin1(r.raw);
    return QStringLiteral("key-event");
}

std::optional<TextWriteOrigin> textWriteOrigin(const QString& raw) {
    for (const auto& o : ORIGINS)
        if (raw == QLatin1String(o.raw)) return o.origin;
    return std::nullopt;
}

std::optional<TextWriteRoute> textWriteRoute(const QString& raw) {
    for (const auto& r : ROUTES)
        if (raw == QLatin1String(r.raw)) return r.route;
    return std::nullopt;
}

QString TextWriteTraceTarget::logValue() const {
    return bundleID.value_or(QStringLiteral("?")) + '#' + (pid ? QString::number(*pid) : QStringLiteral("?"));
}

TextWriteTraceToken TextWriteTraceToken::off() {
    TextWriteTraceToken t;
    t.id = QStringLiteral("off");
    t.origin = TextWriteOrigin::unknown;
    t.route = TextWriteRoute::keyEvent;
    t.startedAt = QDateTime::fromMSecsSinceEpoch(-62135769600000LL, Qt::UTC);  // year 1
    t.isLive = false;
    return t;
}

namespace TextWriteTrace {


// The tap asks on every event.
bool isEnabled() {
    thread_local DefaultsCache<bool> on;
    return on.get([](const Defaults& d) { return d.boolValue(SETTING_KEY); });
}

QString signature(const QString& text) { return hmacHex(text, processKey()); }

QString signature(const QString& text, quint64 salt) {
    QByteArray key(sizeof salt, Qt::Uninitialized);
    std::memcpy(key.data(), &salt, sizeof salt);
    return hmacHex(text, key);
}

TextWriteTraceMetadata metadata(const QString& text, std::optional<quint64> salt) {
    TextWriteTraceMetadata m;
    m.characters = graphemeCount(text);
    m.utf16Units = int(text.size());
    m.lines = text.isEmpty() ? 0 : 1 + int(text.count(QChar('\n')));
    m.signature = salt ? signature(text, *salt) : signature(text);
    return m;
}

QString beginLine(const TextWriteTraceToken& t) {
    return QStringLiteral("write/") + t.id + QStringLiteral(" BEGIN origin=") + rawValue(t.origin) +
           QStringLiteral(" route=") + rawValue(t.route) + QStringLiteral(" target=") + t.target.logValue() +
           QStringLiteral(" chars=") + QString::number(t.metadata.characters) + QStringLiteral(" utf16=") +
           QString::number(t.metadata.utf16Units) + QStringLiteral(" lines=") + QString::number(t.metadata.lines) +
           QStringLiteral(" erase=") + QString::number(t.erasedCharacters) + QStringLiteral(" sig=") +
           t.metadata.signature;
}

TextWriteTraceToken begin(const QString& text, TextWriteRoute route, TextWriteOrigin origin, int erasedCharacters,
                          std::optional<qint32> targetPID) {
    if (!isEnabled()) return TextWriteTraceToken::off();
    quint64 n;
    {
        std::lock_guard lock(g_sequenceLock);
        n = ++g_sequence;
    }
    TextWriteTraceToken t;
    t.id = QStringLiteral("p%1-%2").arg(QCoreApplication::applicationPid()).arg(n, 6, 10, QChar('0'));
    t.origin = origin;
    t.route = route;
    t.metadata = metadata(text);
    if (targetPID) {
        t.target = targetFor(Workspace::shared().runningApplication(*targetPID));
        t.target.pid = *targetPID;
    } else {
        t.target = targetFor(Workspace::shared().frontmostApplication());
    }
    t.erasedCharacters = std::max(erasedCharacters, 0);
    t.startedAt = Clock::shared().now();
    t.isLive = true;
    logLine(beginLine(t));
    return t;
}

void observe(const TextWriteTraceToken& token, const std::function<QString()>& message) {
    if (!token.isLive) return;
    logLine(QStringLiteral("write/") + token.id + QStringLiteral(" OBSERVE ") + message());
}

void finish(const TextWriteTraceToken& token, const std::function<QString()>& outcome, bool checkTarget) {
    if (!token.isLive) return;
    const qint64 elapsed = token.startedAt.msecsTo(Clock::shared().now());
    QString suffix;
    if (checkTarget) {
        const TextWriteTraceTarget now = targetFor(Workspace::shared().frontmostApplication());
        if (now != token.target) suffix = QStringLiteral(" target-now=") + now.logValue();
    }
    logLine(QStringLiteral("write/") + token.id + QStringLiteral(" END outcome=") + outcome() +
            QStringLiteral(" elapsed=") + QString::number(elapsed) + QStringLiteral("ms") + suffix);
}

}  // namespace TextWriteTrace
}  // namespace murmelo
