#include "ai/QuickActionUsageStore.h"

#include "base/Defaults.h"

#include <QVariantMap>
#include <algorithm>

namespace murmelo {
namespace {

bool isStoredInteger(const QVariant& v) {
    const int type = v.typeId();
    return type == QMetaType::LongLong || type == QMetaType::Int;
}

// The stored record, or nothing when any entry is not a dictionary of integers: one stray
// value makes the whole record unreadable, and the next record() replaces it.
std::optional<QVariantMap> readRecord(const Defaults& defaults, const QString& key) {
    const auto stored = defaults.object(key);
    if (!stored || stored->typeId() != QMetaType::QVariantMap) return std::nullopt;
    const QVariantMap record = stored->toMap();
    for (const QVariant& context : record) {
        if (context.typeId() != QMetaType::QVariantMap) return std::nullopt;
        for (const QVariant& count : context.toMap())
            if (!isStoredInteger(count)) return std::nullopt;
    }
    return record;
}

QHash<QString, qint64> countsOf(const QVariantMap& context) {
    QHash<QString, qint64> counts;
    for (auto it = context.begin(); it != context.end(); ++it) counts.insert(it.key(), it.value().toLongLong());
    return counts;
}

bool isCounted(QuickActionID action) {
    return action != QuickActionID::copy && action != QuickActionID::more && action != QuickActionID::addToDictionary;
}

}  // namespace

QuickActionUsageStore& QuickActionUsageStore::shared() {
    static QuickActionUsageStore store(Defaults::shared());
    return store;
}

QList<QuickActionID> QuickActionUsageStore::defaultActions(bool isEditable) {
    if (isEditable) return {QuickActionID::improve, QuickActionID::translate};
    return {QuickActionID::translate, QuickActionID::summarize};
}

QList<QuickActionID> QuickActionUsageStore::candidateActions(bool isEditable) {
    if (isEditable)
        return {QuickActionID::improve,  QuickActionID::translate, QuickActionID::shorter,
                QuickActionID::business, QuickActionID::friendly,  QuickActionID::naturalEnglish};
    return {QuickActionID::translate, QuickActionID::summarize, QuickActionID::explain, QuickActionID::reply};
}

QString QuickActionUsageStore::languageBucket(const QString& text) {
    qint64 cyrillic = 0, latin = 0;
    for (const char32_t c : text.toUcs4()) {
        if (c >= 0x0400 && c <= 0x052F) ++cyrillic;
        else if ((c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z')) ++latin;
    }
    if (latin < cyrillic) return QStringLiteral("cyrillic");
    if (latin > 0) return QStringLiteral("latin");
    return QStringLiteral("other");
}

QString QuickActionUsageStore::contextKey(const QuickActionSelection& selection) {
    return QuickActionAppCategories::rawValue(selection.category) + u'|' +
           (selection.isEditable ? QStringLiteral("editable") : QStringLiteral("readonly")) + u'|' +
           languageBucket(selection.text);
}

QList<QuickActionID> QuickActionUsageStore::rankedPrimaryActions(const QHash<QString, qint64>& counts, bool isEditable,
                                                                 int threshold) {
    const QList<QuickActionID> defaults = defaultActions(isEditable);
    qint64 total = 0;
    for (const qint64 n : counts) total += n;
    if (total < threshold) return defaults;
    QList<QuickActionID> sorted = candidateActions(isEditable);
    std::stable_sort(sorted.begin(), sorted.end(), [&](QuickActionID a, QuickActionID b) {
        return counts.value(QuickActionIDs::rawValue(a)) > counts.value(QuickActionIDs::rawValue(b));
    });
    QList<QuickActionID> chosen = sorted.mid(0, 2);
    for (const QuickActionID d : defaults)
        if (chosen.size() < 2 && !chosen.contains(d)) chosen << d;
    return chosen;
}

void QuickActionUsageStore::record(QuickActionID action, const QuickActionSelection& selection) {
    if (!isCounted(action)) return;
    QVariantMap record = readRecord(defaults_, key_).value_or(QVariantMap{});
    const QString context = contextKey(selection);
    QVariantMap counts = record.value(context).toMap();
    const QString raw = QuickActionIDs::rawValue(action);
    counts.insert(raw, counts.value(raw).toLongLong() + 1);
    record.insert(context, counts);
    defaults_.set(key_, record);
}

QList<QuickActionID> QuickActionUsageStore::primaryActions(const QuickActionSelection& selection) const {
    const QVariantMap record = readRecord(defaults_, key_).value_or(QVariantMap{});
    return rankedPrimaryActions(countsOf(record.value(contextKey(selection)).toMap()), selection.isEditable,
                                promotionThreshold);
}

}  // namespace murmelo
