#include "base/Defaults.h"
#include "base/DefaultsCache.h"

#include "base/Decimal.h"
#include "base/Log.h"
#include "platform/Folders.h"
#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimeZone>
#include <atomic>
#include <cmath>

namespace murmelo {
namespace {

// Dates are written as seconds since 2001-01-01 00:00:00 UTC, so that stored files keep
// their date format.
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

// The largest span of seconds from the reference date that is read as a date: in
// milliseconds, counted from 1970 as the date keeps it, it still fits 64 bits.
constexpr double kDateSecondsBound = 9.0e15;

std::optional<QVariant> markOutOfRange(bool* flag) {
    if (flag) *flag = true;
    return std::nullopt;
}

}  // namespace

namespace {
std::atomic<quint64> g_changes{0};
}  // namespace

quint64 defaultsChanges() { return g_changes.load(std::memory_order_acquire); }

Defaults::Defaults(QString filePath) : path_(std::move(filePath)) {
    load();
    g_changes.fetch_add(1, std::memory_order_acq_rel);
}

Defaults& Defaults::shared() {
    if (auto* d = installedService<Defaults>()) return *d;
    static Defaults* standard = new Defaults(standardPath());
    return *standard;
}

void Defaults::install(Defaults* defaults) { installService<Defaults>(defaults); }

QString Defaults::standardPath() {
    return Folders::join(Folders::join(Folders::config(), "Murmelo"), "defaults.json");
}

// Each value is an object with one member naming its type, so that integers, reals and
// Booleans survive a round trip through JSON exactly.
QJsonValue Defaults::encode(const QVariant& v) {
    QJsonObject o;
    switch (v.typeId()) {
    case QMetaType::Bool: o["bool"] = v.toBool(); break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        o["int"] = QString::number(v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float: o["real"] = v.toDouble(); break;
    case QMetaType::QString: o["string"] = v.toString(); break;
    case QMetaType::QByteArray: o["data"] = QString::fromLatin1(v.toByteArray().toBase64()); break;
    case QMetaType::QDateTime: o["date"] = double(kReferenceDate.msecsTo(v.toDateTime())) / 1000.0; break;
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        QJsonArray a;
        for (const QVariant& e : v.toList()) a.append(encode(e));
        o["array"] = a;
        break;
    }
    case QMetaType::QVariantMap: {
        QJsonObject m;
        const QVariantMap map = v.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) m[it.key()] = encode(it.value());
        o["dict"] = m;
        break;
    }
    default: o["string"] = v.toString(); break;
    }
    return o;
}

std::optional<QVariant> Defaults::decode(const QJsonValue& v, bool* outOfRangeFlag) {
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    if (o.size() != 1) return std::nullopt;
    const QString type = o.begin().key();
    const QJsonValue val = o.begin().value();
    if (type == "bool" && val.isBool()) return QVariant(val.toBool());
    if (type == "int" && val.isString()) {
        bool ok = false;
        qlonglong n = val.toString().toLongLong(&ok);
        if (ok) return QVariant(n);
        return std::nullopt;
    }
    if (type == "real" && val.isDouble()) return QVariant(val.toDouble());
    if (type == "string" && val.isString()) return QVariant(val.toString());
    if (type == "data" && val.isString()) return QVariant(QByteArray::fromBase64(val.toString().toLatin1()));
    if (type == "date" && val.isDouble()) {
        const double seconds = val.toDouble();
        if (!(std::abs(seconds) <= kDateSecondsBound)) return markOutOfRange(outOfRangeFlag);
        return QVariant(kReferenceDate.addMSecs(qint64(seconds * 1000.0)));
    }
    if (type == "array" && val.isArray()) {
        QVariantList list;
        for (const QJsonValue& e : val.toArray()) {
            auto d = decode(e, outOfRangeFlag);
            if (!d) return std::nullopt;
            list.append(*d);
        }
        return QVariant(list);
    }
    if (type == "dict" && val.isObject()) {
        QVariantMap map;
        const QJsonObject m = val.toObject();
        for (auto it = m.begin(); it != m.end(); ++it) {
            auto d = decode(it.value(), outOfRangeFlag);
            if (!d) return std::nullopt;
            map.insert(it.key(), *d);
        }
        return QVariant(map);
    }
    return std::nullopt;
}

std::optional<QVariant> Defaults::decodePlain(const QJsonValue& v, bool* outOfRangeFlag) {
    switch (v.type()) {
    case QJsonValue::Bool: return QVariant(v.toBool());
    case QJsonValue::String: return QVariant(v.toString());
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (std::floor(d) == d && std::abs(d) < 9.0e15) return QVariant(qlonglong(d));
        return QVariant(d);
    }
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& e : v.toArray()) {
            auto d = decode(e, outOfRangeFlag);
            if (!d) d = decodePlain(e, outOfRangeFlag);
            if (!d) return std::nullopt;
            list.append(*d);
        }
        return QVariant(list);
    }
    case QJsonValue::Object: {
        QVariantMap map;
        const QJsonObject o = v.toObject();
        // A broken value of our own form is not a dictionary written by hand.
        static const QStringList typeNames = {"bool", "int", "real", "string", "data", "date", "array", "dict"};
        if (o.size() == 1 && typeNames.contains(o.begin().key())) return std::nullopt;
        for (auto it = o.begin(); it != o.end(); ++it) {
            auto d = decode(it.value(), outOfRangeFlag);
            if (!d) d = decodePlain(it.value(), outOfRangeFlag);
            if (!d) return std::nullopt;
            map.insert(it.key(), *d);
        }
        return QVariant(map);
    }
    default: return std::nullopt;
    }
}

void Defaults::load() {
    if (path_.isEmpty()) return;
    QFile f(path_);
    if (!f.exists() || !f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    f.close();
    QJsonParseError err{};
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    bool typed = err.error == QJsonParseError::NoError && doc.isObject();
    QVariantMap values;
    QStringList outOfRangeKeys;
    if (typed) {
        const QJsonObject root = doc.object();
        for (auto it = root.begin(); it != root.end(); ++it) {
            bool outOfRange = false;
            auto d = decode(it.value(), &outOfRange);
            if (!d && !outOfRange) {
                // Written by hand: a plain value is read as what it is; the typed readers
                // still take it only when its kind is the key's.
                typed = false;
                d = decodePlain(it.value(), &outOfRange);
            }
            if (d) values.insert(it.key(), *d);
            // A value in our form whose number is out of range is left out: the key reads
            // as absent, its default applies, and the next write drops it from the file.
            else if (outOfRange) outOfRangeKeys << it.key();
        }
    }
    {
        std::lock_guard lock(mutex_);
        values_ = values;
    }
    for (const QString& key : outOfRangeKeys) noteOutOfRange(key);
    if (typed) return;
    // Never lose settings we could not read: the whole file goes aside for the user, and
    // what was readable is written back in our own form.
    setAside(bytes);
    if (!values.isEmpty()) save();
}

void Defaults::setAside(const QByteArray& bytes) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path_ + QStringLiteral(".bad-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) aside = path_ + QStringLiteral(".bad-") + stamp + '-' + QString::number(n);
    if (!QFile::rename(path_, aside)) {
        // Renaming failed (another file system?): keep a copy of the bytes at least.
        QSaveFile copy(aside);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit()) {
            logLine(QStringLiteral("настройки: файл ") + path_ + QStringLiteral(" не в своём виде, и отложить его не вышло"));
            return;
        }
        QFile::remove(path_);
    }
    // A renamed file keeps the mode it had; the copy holds the same settings as ours.
    QFile::setPermissions(aside, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    setAside_ = aside;
    logLine(QStringLiteral("настройки: файл ") + path_ + QStringLiteral(" не в своём виде — копия отложена в ") + aside +
            QStringLiteral("; прочитано ключей: ") + QString::number(keys().size()));
}

void Defaults::save() const {
    if (path_.isEmpty()) return;
    Folders::makePrivateFolder(QFileInfo(path_).absolutePath());
    QJsonObject root;
    {
        std::lock_guard lock(mutex_);
        for (auto it = values_.begin(); it != values_.end(); ++it) root[it.key()] = encode(it.value());
    }
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.commit();
}

std::optional<QVariant> Defaults::object(const QString& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

bool Defaults::contains(const QString& key) const {
    std::lock_guard lock(mutex_);
    return values_.contains(key);
}

QStringList Defaults::keys() const {
    std::lock_guard lock(mutex_);
    return values_.keys();
}

void Defaults::set(const QString& key, const QVariant& value) {
    if (!value.isValid()) { remove(key); return; }
    QVariant v = value;
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::UInt || v.typeId() == QMetaType::Long ||
        v.typeId() == QMetaType::ULongLong)
        v = QVariant(v.toLongLong());
    if (v.typeId() == QMetaType::QStringList) v = QVariant(v.toList());
    {
        std::lock_guard lock(mutex_);
        values_.insert(key, v);
        g_changes.fetch_add(1, std::memory_order_acq_rel);
    }
    save();
    emit changed(key);
}

void Defaults::remove(const QString& key) {
    {
        std::lock_guard lock(mutex_);
        if (!values_.contains(key)) return;
        values_.remove(key);
        g_changes.fetch_add(1, std::memory_order_acq_rel);
    }
    save();
    emit changed(key);
}

bool Defaults::boolValue(const QString& key) const {
    auto v = object(key);
    if (!v) return false;
    switch (v->typeId()) {
    case QMetaType::Bool: return v->toBool();
    case QMetaType::LongLong:
    case QMetaType::Double: return v->toDouble() != 0.0;
    case QMetaType::QString: {
        const QString s = v->toString().trimmed().toLower();
        return s == "true" || s == "yes" || s == "1";
    }
    default: return false;
    }
}

void Defaults::noteOutOfRange(const QString& key) const {
    {
        std::lock_guard lock(mutex_);
        if (reportedOutOfRange_.contains(key)) return;
        reportedOutOfRange_.insert(key);
    }
    // The value itself stays out of the log: it may be anything a damaged file holds.
    logLine(QStringLiteral("настройки: число в ключе ") + key +
            QStringLiteral(" вне допустимого диапазона — взято значение по умолчанию"));
}

std::optional<qint64> Defaults::integerObject(const QString& key) const {
    auto v = object(key);
    if (!v) return std::nullopt;
    switch (v->typeId()) {
    case QMetaType::Bool: return v->toBool() ? 1 : 0;
    case QMetaType::LongLong: return v->toLongLong();
    case QMetaType::Double:
        if (const auto n = wholeInt64(v->toDouble())) return n;
        noteOutOfRange(key);
        return std::nullopt;
    case QMetaType::QString: return v->toString().trimmed().toLongLong();
    default: return 0;
    }
}

qint64 Defaults::integerValue(const QString& key) const { return integerObject(key).value_or(0); }

double Defaults::doubleValue(const QString& key) const {
    auto v = object(key);
    if (!v) return 0.0;
    double d = 0.0;
    switch (v->typeId()) {
    case QMetaType::Bool: return v->toBool() ? 1.0 : 0.0;
    case QMetaType::LongLong:
    case QMetaType::Double: d = v->toDouble(); break;
    // The text reader takes "nan" and "inf" too.
    case QMetaType::QString: d = v->toString().trimmed().toDouble(); break;
    default: return 0.0;
    }
    if (std::isfinite(d)) return d;
    noteOutOfRange(key);
    return 0.0;
}

std::optional<bool> Defaults::realBool(const QString& key) const {
    auto v = object(key);
    if (!v || v->typeId() != QMetaType::Bool) return std::nullopt;
    return v->toBool();
}

std::optional<QString> Defaults::stringValue(const QString& key) const {
    auto v = object(key);
    if (!v) return std::nullopt;
    if (v->typeId() == QMetaType::QString) return v->toString();
    if (v->typeId() == QMetaType::LongLong || v->typeId() == QMetaType::Double) return v->toString();
    return std::nullopt;
}

QVariantList Defaults::listValue(const QString& key) const {
    auto v = object(key);
    if (!v || v->typeId() != QMetaType::QVariantList) return {};
    return v->toList();
}

QStringList Defaults::stringListValue(const QString& key) const {
    QStringList out;
    for (const QVariant& item : listValue(key)) {
        if (item.typeId() != QMetaType::QString) return {};
        out << item.toString();
    }
    return out;
}

QSet<QString> Defaults::stringSetValue(const QString& key) const {
    const QStringList texts = stringListValue(key);
    return QSet<QString>(texts.begin(), texts.end());
}

QVariantMap Defaults::dictionaryValue(const QString& key) const {
    auto v = object(key);
    if (!v || v->typeId() != QMetaType::QVariantMap) return {};
    return v->toMap();
}

QByteArray Defaults::dataValue(const QString& key) const {
    auto v = object(key);
    if (!v || v->typeId() != QMetaType::QByteArray) return {};
    return v->toByteArray();
}

}  // namespace murmelo
