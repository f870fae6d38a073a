#pragma once
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>
#include <mutex>
#include <optional>

namespace murmelo {

// The user-defaults domain. Values keep their types: Boolean, integer (qlonglong), real,
// text, list, dictionary, data (QByteArray) and date; an absent key is absent. Backed by
// one JSON file written atomically on every change, or by memory (empty path) in tests.
// Reads are safe from any thread; writes belong to the main thread.
class Defaults : public QObject {
    Q_OBJECT
public:
    explicit Defaults(QString filePath = {});

    static Defaults& shared();
    static void install(Defaults* defaults);
    // The application's file: $XDG_CONFIG_HOME/Murmelo/defaults.json.
    static QString standardPath();

    std::optional<QVariant> object(const QString& key) const;
    bool contains(const QString& key) const;
    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);

    // Conversions in the manner of the platform's defaults: an absent key gives false,
    // 0, 0.0; numbers and "true"/"yes"/"1" texts convert. A number out of range (no 64-bit
    // integer holds it as an integer, not finite as a real) reads as absent, and the key is
    // logged once.
    bool boolValue(const QString& key) const;
    qint64 integerValue(const QString& key) const;
    double doubleValue(const QString& key) const;
    // The integer as integerValue reads it; nothing when the key is absent or its number is
    // out of range, so that the caller's default applies.
    std::optional<qint64> integerObject(const QString& key) const;
    // Logs, once per key, that its stored number is out of range and the default applies;
    // for readers whose own bounds a stored number breaks.
    void noteOutOfRange(const QString& key) const;
    // Only a stored value of exactly that type; anything else is nullopt.
    std::optional<bool> realBool(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    QVariantList listValue(const QString& key) const;
    // The texts of a stored list, in order; empty unless it holds texts only (one stray
    // value makes the whole list unusable).
    QStringList stringListValue(const QString& key) const;
    // The same texts as a set.
    QSet<QString> stringSetValue(const QString& key) const;
    QVariantMap dictionaryValue(const QString& key) const;
    QByteArray dataValue(const QString& key) const;

    QStringList keys() const;
    QString filePath() const { return path_; }
    // Where a file not in the typed form was set aside at load (a name of its own each
    // time); the keys that could be read were kept.
    QString setAsidePath() const { return setAside_; }

    // Typed JSON coding of one value (also used for the file).
    static QJsonValue encode(const QVariant& v);
    // Nothing for a value not in the typed form; outOfRange, when given, is set when a
    // number in it is out of range (a date no 64-bit count of milliseconds holds).
    static std::optional<QVariant> decode(const QJsonValue& v, bool* outOfRange = nullptr);
    // A plain JSON value (written by hand) read as the value of its own kind.
    static std::optional<QVariant> decodePlain(const QJsonValue& v, bool* outOfRange = nullptr);

signals:
    void changed(const QString& key);

private:
    void load();
    void save() const;

    void setAside(const QByteArray& bytes);

    QString path_;
    QString setAside_;
    mutable std::mutex mutex_;  // guards values_ and reportedOutOfRange_
    QVariantMap values_;
    mutable QSet<QString> reportedOutOfRange_;
};

}  // namespace murmelo
