#include "vocabulary/AppVocab.h"

#include "base/Defaults.h"

#include <QCollator>
#include <QSet>

#include <algorithm>

namespace murmelo {

const QString VOCAB_SEED = QStringLiteral(
    "Инструменты: ChatGPT, Gemini, Linear, Figma, Recraft, Veo, TestFlight, Murmelo, Telegram, HTML, iOS. "
    "Метрики: ARR, CAC, LTV, ASO, paywall. Сделай, посмотри и скажи. Что дальше?");

QString customVocab() {
    const auto stored = Defaults::shared().stringValue(VOCAB_KEY);
    return stored ? *stored : VOCAB_SEED;
}

void setCustomVocab(const QString& text) { Defaults::shared().set(VOCAB_KEY, text); }

namespace AppVocab {
namespace {

using TextMap = QMap<QString, QString>;
using Entry = QMap<QString, QString>;

// A dictionary of texts; anything of another shape reads as empty.
TextMap readTextMap(const QString& key) {
    const auto value = Defaults::shared().object(key);
    if (!value || value->typeId() != QMetaType::QVariantMap) return {};
    TextMap out;
    const QVariantMap map = value->toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString) return {};
        out.insert(it.key(), it.value().toString());
    }
    return out;
}

void writeTextMap(const QString& key, const TextMap& map) {
    QVariantMap out;
    for (auto it = map.cbegin(); it != map.cend(); ++it) out.insert(it.key(), it.value());
    Defaults::shared().set(key, out);
}

QList<Entry> readRecent() {
    const auto value = Defaults::shared().object(RECENT_KEY);
    if (!value || value->typeId() != QMetaType::QVariantList) return {};
    QList<Entry> out;
    for (const QVariant& element : value->toList()) {
        if (element.typeId() != QMetaType::QVariantMap) return {};
        Entry entry;
        const QVariantMap map = element.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it.value().typeId() != QMetaType::QString) return {};
            entry.insert(it.key(), it.value().toString());
        }
        out.append(entry);
    }
    return out;
}

void writeRecent(const QList<Entry>& list) {
    QVariantList out;
    for (const Entry& e : list) {
        QVariantMap map;
        for (auto it = e.cbegin(); it != e.cend(); ++it) map.insert(it.key(), it.value());
        out.append(map);
    }
    Defaults::shared().set(RECENT_KEY, out);
}

std::optional<int> parseCount(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    bool ok = false;
    const int n = text->toInt(&ok, 10);
    return ok ? std::optional<int>(n) : std::nullopt;
}

std::optional<QString> field(const Entry& e, const char* key) {
    const auto it = e.constFind(QLatin1String(key));
    return it == e.cend() ? std::nullopt : std::optional<QString>(it.value());
}

}  // namespace

std::optional<QString> vocab(const std::optional<QString>& bundleID) {
    if (!bundleID) return std::nullopt;
    const TextMap terms = readTextMap(TERMS_KEY);
    const auto it = terms.constFind(*bundleID);
    if (it == terms.cend() || it.value().trimmed().isEmpty()) return std::nullopt;
    return it.value();
}

QString effectiveVocab(const std::optional<DictationContext>& context) {
    if (const auto own = vocab(context ? std::optional<QString>(context->bundleID) : std::nullopt)) return *own;
    return customVocab();
}

void setVocab(const std::optional<QString>& terms, const QString& bundleID, const QString& appName) {
    TextMap map = readTextMap(TERMS_KEY);
    if (terms && !terms->trimmed().isEmpty()) {
        map.insert(bundleID, *terms);
        TextMap names = readTextMap(NAMES_KEY);
        names.insert(bundleID, appName);
        writeTextMap(NAMES_KEY, names);
    } else {
        map.remove(bundleID);
    }
    writeTextMap(TERMS_KEY, map);
}

QString appName(const QString& bundleID) { return readTextMap(NAMES_KEY).value(bundleID, bundleID); }

QList<App> appsWithOwnVocab() {
    const TextMap names = readTextMap(NAMES_KEY);
    QList<App> out;
    for (const QString& id : readTextMap(TERMS_KEY).keys()) out.append({id, names.value(id, id)});
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(out.begin(), out.end(),
                     [&](const App& a, const App& b) { return collator.compare(a.name, b.name) < 0; });
    return out;
}

void noteUse(const std::optional<DictationContext>& context) {
    if (!context) return;
    QList<Entry> list = readRecent();
    int previous = 0;
    for (const Entry& e : list) {
        if (field(e, "id") == context->bundleID) {
            previous = parseCount(field(e, "n")).value_or(0);
            break;
        }
    }
    list.removeIf([&](const Entry& e) { return field(e, "id") == context->bundleID; });
    Entry entry;
    entry.insert(QStringLiteral("id"), context->bundleID);
    entry.insert(QStringLiteral("name"), context->appName);
    entry.insert(QStringLiteral("n"), QString::number(previous + 1));
    list.prepend(entry);
    if (list.size() > RECENT_LIMIT) list = list.mid(0, RECENT_LIMIT);
    writeRecent(list);
}

QList<App> recentApps(int minUses) {
    QList<App> out;
    for (const Entry& e : readRecent()) {
        const auto id = field(e, "id");
        const auto name = field(e, "name");
        if (!id || !name) continue;
        if (parseCount(field(e, "n")).value_or(1) >= minUses) out.append({*id, *name});
    }
    return out;
}

QList<PickerEntry> pickerEntries() {
    QList<PickerEntry> out;
    QSet<QString> own;
    for (const App& a : appsWithOwnVocab()) {
        out.append({a.bundleID, a.name, true});
        own.insert(a.bundleID);
    }
    for (const App& a : recentApps(pickerFloor))
        if (!own.contains(a.bundleID)) out.append({a.bundleID, a.name, false});
    return out;
}

}  // namespace AppVocab

}  // namespace murmelo
