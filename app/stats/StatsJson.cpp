#include "stats/StatsJson.h"

#include "base/Decimal.h"

#include <cmath>

namespace murmelo::StatsJson {

std::optional<qint64> integer(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    // The parser keeps whole numbers that fit 64 bits as integers; toInteger gives its default
    // for everything else, so two different defaults tell a real integer apart.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b) return std::nullopt;
    return a;
}

std::optional<double> seconds(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<qint64> decimalKey(const QString& name) { return parseDecimal(name); }

namespace {

bool fail(QString* error, const QString& key, const char* what) {
    if (error) *error = QStringLiteral("%1: %2").arg(key, QLatin1String(what));
    return false;
}

}  // namespace

bool readInteger(const QJsonObject& object, const QString& key, qint64& out, QString* error) {
    if (!object.contains(key)) return fail(error, key, "missing");
    const std::optional<qint64> v = integer(object.value(key));
    if (!v) return fail(error, key, "expected an integer");
    out = *v;
    return true;
}

bool readSeconds(const QJsonObject& object, const QString& key, double& out, QString* error) {
    if (!object.contains(key)) return fail(error, key, "missing");
    const std::optional<double> v = seconds(object.value(key));
    if (!v) return fail(error, key, "expected a number");
    out = *v;
    return true;
}

bool readOptionalInteger(const QJsonObject& object, const QString& key, std::optional<qint64>& out,
                         QString* error) {
    const QJsonValue member = object.value(key);
    if (member.isUndefined() || member.isNull()) {
        out.reset();
        return true;
    }
    const std::optional<qint64> v = integer(member);
    if (!v) return fail(error, key, "expected an integer");
    out = v;
    return true;
}

bool readOptionalSeconds(const QJsonObject& object, const QString& key, std::optional<double>& out,
                         QString* error) {
    const QJsonValue member = object.value(key);
    if (member.isUndefined() || member.isNull()) {
        out.reset();
        return true;
    }
    const std::optional<double> v = seconds(member);
    if (!v) return fail(error, key, "expected a number");
    out = v;
    return true;
}

void Writer::seconds(const QString& key, double value) {
    if (!std::isfinite(value)) fail(QStringLiteral("%1: not a finite number").arg(key));
    object_.insert(key, value);
}

void Writer::integerMap(const QString& key, const std::map<qint64, qint64>& map) {
    QJsonObject object;
    for (const auto& [number, count] : map) object.insert(QString::number(number), QJsonValue(count));
    object_.insert(key, object);
}

void Writer::secondsMap(const QString& key, const std::map<qint64, double>& map) {
    QJsonObject object;
    for (const auto& [number, value] : map) {
        if (!std::isfinite(value)) fail(QStringLiteral("%1.%2: not a finite number").arg(key).arg(number));
        object.insert(QString::number(number), value);
    }
    object_.insert(key, object);
}

void Writer::nested(const QString& key, const std::optional<QJsonObject>& object, const QString& error) {
    if (!object) {
        fail(QStringLiteral("%1.%2").arg(key, error));
        return;
    }
    object_.insert(key, *object);
}

std::optional<QJsonObject> Writer::finish(QString* error) const {
    if (!error_.isEmpty()) {
        if (error) *error = error_;
        return std::nullopt;
    }
    return object_;
}

}  // namespace murmelo::StatsJson
