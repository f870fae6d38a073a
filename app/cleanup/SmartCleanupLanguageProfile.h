#pragma once
#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace murmelo {

// Identifiers: a text each, compared and hashed by that text.
struct SmartCleanupRuleID {
    QString rawValue;
    bool operator==(const SmartCleanupRuleID&) const = default;
};

struct SmartCleanupSkillID {
    QString rawValue;
    bool operator==(const SmartCleanupSkillID&) const = default;

    // Coded as its raw value alone (scenario records keep lists of them).
    QJsonValue toJson() const { return rawValue; }
    static std::optional<SmartCleanupSkillID> fromJson(const QJsonValue& value);
};

struct SmartCleanupLanguageID {
    QString rawValue;
    bool operator==(const SmartCleanupLanguageID&) const = default;

    static SmartCleanupLanguageID russian() { return {QStringLiteral("ru")}; }
    static SmartCleanupLanguageID english() { return {QStringLiteral("en")}; }
};

inline size_t qHash(const SmartCleanupRuleID& id, size_t seed = 0) { return qHash(id.rawValue, seed); }
inline size_t qHash(const SmartCleanupSkillID& id, size_t seed = 0) { return qHash(id.rawValue, seed); }
inline size_t qHash(const SmartCleanupLanguageID& id, size_t seed = 0) { return qHash(id.rawValue, seed); }

enum class SmartCleanupBacktrackKind {
    replaceTail,    // the correction replaces as many trailing words as it has
    discardClause,  // the whole clause before the marker goes
};

struct SmartCleanupBacktrackRule {
    SmartCleanupRuleID id;
    QString markerPattern;
    SmartCleanupBacktrackKind kind;
};

struct SmartCleanupFillerRule {
    SmartCleanupRuleID id;
    QString tokenPattern;  // the filler alone; the processor adds the boundaries
};

struct SmartCleanupCommandRule {
    SmartCleanupRuleID id;
    QString phrasePattern;  // without boundaries
    QString replacement;    // a replacement template
};

struct SmartCleanupUnitRule {
    SmartCleanupRuleID id;
    QString unitPattern;
    QString suffix;
    bool compact = false;  // suffix joined to the number without a space

    QString format(qint64 value) const;
};

// Number words of one language in the order the table lists them, so that anything built
// from the keys comes out the same on every run.
class SmartCleanupNumberTable {
public:
    SmartCleanupNumberTable() = default;
    SmartCleanupNumberTable(std::initializer_list<std::pair<QString, qint64>> entries);

    const QStringList& keys() const { return keys_; }
    std::optional<qint64> value(const QString& word) const;
    bool contains(const QString& word) const { return values_.contains(word); }
    qsizetype size() const { return keys_.size(); }
    bool isEmpty() const { return keys_.isEmpty(); }
    // This table's entries followed by those of `other` that are not here yet.
    SmartCleanupNumberTable merged(const SmartCleanupNumberTable& other) const;

private:
    QStringList keys_;
    QHash<QString, qint64> values_;
};

// The rule tables of one language.
struct SmartCleanupLanguageProfile {
    SmartCleanupLanguageID id;
    QList<SmartCleanupBacktrackRule> backtrackRules;
    QSet<QString> unsafeCorrectionStarts;
    QList<SmartCleanupFillerRule> fillerRules;
    QList<SmartCleanupCommandRule> commandRules;
    QStringList listMarkers;
    QStringList explicitNumberPrefixes;
    SmartCleanupNumberTable cardinalNumbers;
    SmartCleanupNumberTable listNumbers;  // cardinalNumbers together with listOrdinalNumbers
    SmartCleanupNumberTable listOrdinalNumbers;
    SmartCleanupNumberTable listDiscourseNumbers;
    QStringList listHeaderCues;
    QList<SmartCleanupUnitRule> unitRules;

    // A decimal integer as written (optional sign, ASCII digits, within 64 bits), else the
    // lower-cased word looked up in the list numbers (when allowed) and then the cardinals.
    std::optional<qint64> numberValue(const QString& word, bool allowListOrdinals) const;

    // Built once, never changed.
    static const SmartCleanupLanguageProfile& english();
    static const SmartCleanupLanguageProfile& russian();
};

}  // namespace murmelo
