#include "vocabulary/DictationRecords.h"

#include "platform/MainQueue.h"

#include <QJsonValue>
#include <QUuid>

#include <cmath>

namespace murmelo {
namespace {

const QDateTime& referenceDate() {
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

// A required text: present and a JSON string.
bool readText(const QJsonObject& o, const char* key, QString& out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) return false;
    out = v.toString();
    return true;
}

// An optional text: missing or null is absent; any other type makes the record unreadable.
bool readOptionalText(const QJsonObject& o, const char* key, std::optional<QString>& out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) {
        out.reset();
        return true;
    }
    if (!v.isString()) return false;
    out = v.toString();
    return true;
}

bool readDate(const QJsonObject& o, const char* key, QDateTime& out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble() || !std::isfinite(v.toDouble())) return false;
    out = dateFromReferenceSeconds(v.toDouble());
    return true;
}

}  // namespace

double secondsSinceReferenceDate(const QDateTime& date) {
    return double(referenceDate().msecsTo(date)) / 1000.0;
}

QDateTime dateFromReferenceSeconds(double seconds) {
    return referenceDate().addMSecs(qint64(std::llround(seconds * 1000.0)));
}

QJsonObject toJson(const DictationContext& context) {
    QJsonObject o;
    o.insert(QStringLiteral("bundleID"), context.bundleID);
    o.insert(QStringLiteral("appName"), context.appName);
    return o;
}

std::optional<DictationContext> dictationContextFromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    DictationContext c;
    if (!readText(o, "bundleID", c.bundleID) || !readText(o, "appName", c.appName)) return std::nullopt;
    return c;
}

QString rawValue(DictationLearningScope scope) {
    return scope == DictationLearningScope::global ? QStringLiteral("global") : QStringLiteral("application");
}

std::optional<DictationLearningScope> dictationLearningScope(const QString& raw) {
    if (raw == QLatin1String("global")) return DictationLearningScope::global;
    if (raw == QLatin1String("application")) return DictationLearningScope::application;
    return std::nullopt;
}

LearnedDictationReplacement LearnedDictationReplacement::make(const QString& source, const QString& replacement,
                                                              DictationLearningScope scope,
                                                              std::optional<QString> bundleID,
                                                              std::optional<QString> appName, std::optional<QString> id,
                                                              std::optional<QDateTime> createdAt) {
    LearnedDictationReplacement r;
    r.id = id ? *id : QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    r.source = source;
    r.replacement = replacement;
    r.scope = scope;
    if (scope == DictationLearningScope::application) {
        r.bundleID = std::move(bundleID);
        r.appName = std::move(appName);
    }
    r.createdAt = createdAt ? *createdAt : Clock::shared().now();
    return r;
}

QJsonObject LearnedDictationReplacement::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("id"), id);
    o.insert(QStringLiteral("source"), source);
    o.insert(QStringLiteral("replacement"), replacement);
    o.insert(QStringLiteral("scope"), rawValue(scope));
    if (bundleID) o.insert(QStringLiteral("bundleID"), *bundleID);
    if (appName) o.insert(QStringLiteral("appName"), *appName);
    o.insert(QStringLiteral("createdAt"), secondsSinceReferenceDate(createdAt));
    return o;
}

std::optional<LearnedDictationReplacement> LearnedDictationReplacement::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    LearnedDictationReplacement r;
    QString scope;
    if (!readText(o, "id", r.id) || !readText(o, "source", r.source) || !readText(o, "replacement", r.replacement) ||
        !readText(o, "scope", scope) || !readOptionalText(o, "bundleID", r.bundleID) ||
        !readOptionalText(o, "appName", r.appName) || !readDate(o, "createdAt", r.createdAt))
        return std::nullopt;
    const auto s = dictationLearningScope(scope);
    if (!s) return std::nullopt;
    r.scope = *s;
    return r;
}

QJsonObject LastDeliveredDictation::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("sourceText"), sourceText);
    o.insert(QStringLiteral("deliveredText"), deliveredText);
    if (context) o.insert(QStringLiteral("context"), murmelo::toJson(*context));
    o.insert(QStringLiteral("cleanupMode"), SmartCleanupModes::rawValue(cleanupMode));
    o.insert(QStringLiteral("createdAt"), secondsSinceReferenceDate(createdAt));
    return o;
}

std::optional<LastDeliveredDictation> LastDeliveredDictation::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    LastDeliveredDictation d;
    QString mode;
    if (!readText(o, "sourceText", d.sourceText) || !readText(o, "deliveredText", d.deliveredText) ||
        !readText(o, "cleanupMode", mode) || !readDate(o, "createdAt", d.createdAt))
        return std::nullopt;
    const QJsonValue context = o.value(QStringLiteral("context"));
    if (!context.isUndefined() && !context.isNull()) {
        d.context = dictationContextFromJson(context);
        if (!d.context) return std::nullopt;
    }
    const auto m = SmartCleanupModes::fromRawValue(mode);
    if (!m) return std::nullopt;
    d.cleanupMode = *m;
    return d;
}

}  // namespace murmelo
