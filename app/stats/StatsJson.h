#pragma once
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <map>
#include <optional>

// Typed reading and writing of the members of the statistics JSON. Readers return nothing and
// fill the error text when a member is missing or of the wrong type, so that one bad member
// makes the whole record undecodable instead of being read as 0.
namespace murmelo::StatsJson {

// A JSON number that is a whole number within 64 bits ("3", "3.0" and "1e3" are; "1.5" is not).
std::optional<qint64> integer(const QJsonValue& value);
// A finite JSON number.
std::optional<double> seconds(const QJsonValue& value);
// A member name that is a decimal integer: an optional sign and digits, nothing else.
std::optional<qint64> decimalKey(const QString& name);

// Required members: missing, null or mistyped is an error.
bool readInteger(const QJsonObject& object, const QString& key, qint64& out, QString* error);
bool readSeconds(const QJsonObject& object, const QString& key, double& out, QString* error);
// Optional members: missing or null leaves the field absent; present and mistyped is an error.
bool readOptionalInteger(const QJsonObject& object, const QString& key, std::optional<qint64>& out,
                         QString* error);
bool readOptionalSeconds(const QJsonObject& object, const QString& key, std::optional<double>& out,
                         QString* error);

// A JSON object whose member names are decimal integers; each value read by `readValue`
// (a callable QJsonValue → std::optional<V>). Two names for one number ("5" and "05") are an
// error: the map could not say which one holds.
template <typename V, typename ReadValue>
bool readIntegerKeyedMap(const QJsonObject& object, const QString& key, std::map<qint64, V>& out,
                         QString* error, ReadValue readValue) {
    const QJsonValue member = object.value(key);
    if (!member.isObject()) {
        if (error) *error = QStringLiteral("%1: expected an object").arg(key);
        return false;
    }
    std::map<qint64, V> result;
    const QJsonObject map = member.toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        const std::optional<qint64> number = decimalKey(it.key());
        if (!number) {
            if (error) *error = QStringLiteral("%1: member name \"%2\" is not a decimal integer").arg(key, it.key());
            return false;
        }
        std::optional<V> value = readValue(it.value());
        if (!value) {
            if (error) *error = QStringLiteral("%1.%2: mistyped value").arg(key, it.key());
            return false;
        }
        if (!result.emplace(*number, std::move(*value)).second) {
            if (error) *error = QStringLiteral("%1: %2 is named twice").arg(key).arg(*number);
            return false;
        }
    }
    out = std::move(result);
    return true;
}

// Builds one JSON object. JSON has no form for an infinite or not-a-number value: rather than
// writing null, which would make the record unreadable, the first such value fails the whole
// encoding.
class Writer {
public:
    void integer(const QString& key, qint64 value) { object_.insert(key, QJsonValue(value)); }
    void seconds(const QString& key, double value);
    void value(const QString& key, const QJsonValue& value) { object_.insert(key, value); }
    void optionalInteger(const QString& key, const std::optional<qint64>& value) {
        if (value) integer(key, *value);
    }
    void optionalSeconds(const QString& key, const std::optional<double>& value) {
        if (value) seconds(key, *value);
    }
    void integerMap(const QString& key, const std::map<qint64, qint64>& map);
    void secondsMap(const QString& key, const std::map<qint64, double>& map);
    // A nested object that failed to encode fails this one too.
    void nested(const QString& key, const std::optional<QJsonObject>& object, const QString& error);
    void fail(const QString& error) {
        if (error_.isEmpty()) error_ = error;
    }
    std::optional<QJsonObject> finish(QString* error) const;

private:
    QJsonObject object_;
    QString error_;
};

}  // namespace murmelo::StatsJson
