#include "base/Defaults.h"

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

namespace murmelo {
namespace {

// Dates are written as seconds since 2001-01-01 00:00:00 UTC, as the original coder does.
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

}  // namespace

Defaults::Defaults(QString filePath) : path_(std::move(filePath)) { load(); }

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

std::optional<QVariant> Defaults::decode(const QJsonValue& v) {
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
    if (type == "date" && val.isDouble()) return QVariant(kReferenceDate.addMSecs(qint64(val.toDouble() * 1000.0)));
    if (type == "array" && val.isArray()) {
        QVariantList list;
        for (const QJsonValue& e : val.toArray()) {
            auto d = decode(e);
            if (!d) return std::nullopt;
            list.append(*d);
        }
        return QVariant(list);
    }
    if (type == "dict" && val.isObject()) {
        QVariantMap map;
        const QJsonObject m = val.toObject();
        for (auto it = m.begin(); it != m.end(); ++it) {
            auto d = decode(it.value());
            if (!d) return std::nullopt;
            map.insert(it.key(), *d);
        }
        return QVariant(map);
    }
    return std::nullopt;
}

void Defaults::load() {
    if (path_.isEmpty()) return;
    QFile f(path_);
    if (!f.exists() || !f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    f.close();
    QJsonParseError err{};
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    bool ok = err.error == QJsonParseError::NoError && doc.isObject();
    QVariantMap values;
    if (ok) {
        const QJsonObject root = doc.object();
        for (auto it = root.begin(); it != root.end(); ++it) {
            auto d = decode(it.value());
            if (!d) { ok = false; break; }
            values.insert(it.key(), *d);
        }
    }
    if (!ok) {
        // Never overwrite settings we could not read: keep them aside for the user.
        setAside_ = path_ + ".bad";
        QFile::remove(setAside_);
        QFile::rename(path_, setAside_);
        return;
    }
    values_ = values;
}

void Defaults::save() const {
    if (path_.isEmpty()) return;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QJsonObject root;
    for (auto it = values_.begin(); it != values_.end(); ++it) root[it.key()] = encode(it.value());
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.commit();
}

std::optional<QVariant> Defaults::object(const QString& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

void Defaults::set(const QString& key, const QVariant& value) {
    if (!value.isValid()) { remove(key); return; }
    QVariant v = value;
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::UInt || v.typeId() == QMetaType::Long ||
        v.typeId() == QMetaType::ULongLong)
        v = QVariant(v.toLongLong());
    if (v.typeId() == QMetaType::QStringList) v = QVariant(v.toList());
    values_.insert(key, v);
    save();
    emit changed(key);
}

void Defaults::remove(const QString& key) {
    if (!values_.contains(key)) return;
    values_.remove(key);
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

qint64 Defaults::integerValue(const QString& key) const {
    auto v = object(key);
    if (!v) return 0;
    switch (v->typeId()) {
    case QMetaType::Bool: return v->toBool() ? 1 : 0;
    case QMetaType::LongLong: return v->toLongLong();
    case QMetaType::Double: return qint64(v->toDouble());
    case QMetaType::QString: return v->toString().trimmed().toLongLong();
    default: return 0;
    }
}

double Defaults::doubleValue(const QString& key) const {
    auto v = object(key);
    if (!v) return 0.0;
    switch (v->typeId()) {
    case QMetaType::Bool: return v->toBool() ? 1.0 : 0.0;
    case QMetaType::LongLong:
    case QMetaType::Double: return v->toDouble();
    case QMetaType::QString: return v->toString().trimmed().toDouble();
    default: return 0.0;
    }
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
