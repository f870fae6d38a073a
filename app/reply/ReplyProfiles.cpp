#include "reply/ReplyProfiles.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/RunningApplication.h"
#include "platform/Workspace.h"

#include <QCollator>
#include <QSet>

#include <algorithm>

namespace murmelo {

QString ruTitle(QuickActionAppCategory category) {
    switch (category) {
    case QuickActionAppCategory::mail: return QStringLiteral("почта");
    case QuickActionAppCategory::chat: return QStringLiteral("мессенджер");
    case QuickActionAppCategory::document: return QStringLiteral("документы");
    case QuickActionAppCategory::browser: return QStringLiteral("браузер");
    case QuickActionAppCategory::generic: return QStringLiteral("прочее");
    }
    return {};
}

namespace ReplyProfiles {
namespace {

using Entry = QMap<QString, QString>;

bool isText(const QVariant& v) { return v.typeId() == QMetaType::QString; }

// A stored dictionary is used only when every value has the expected shape; one stray value
// makes the whole of it read as empty.
QMap<QString, Entry> readProfiles() {
    const auto value = Defaults::shared().object(PROFILES_KEY);
    if (!value || value->typeId() != QMetaType::QVariantMap) return {};
    QMap<QString, Entry> out;
    const QVariantMap map = value->toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap) return {};
        Entry entry;
        const QVariantMap fields = it.value().toMap();
        for (auto f = fields.cbegin(); f != fields.cend(); ++f) {
            if (!isText(f.value())) return {};
            entry.insert(f.key(), f.value().toString());
        }
        out.insert(it.key(), entry);
    }
    return out;
}

QMap<QString, QString> readNames() {
    const auto value = Defaults::shared().object(NAMES_KEY);
    if (!value || value->typeId() != QMetaType::QVariantMap) return {};
    QMap<QString, QString> out;
    const QVariantMap map = value->toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!isText(it.value())) return {};
        out.insert(it.key(), it.value().toString());
    }
    return out;
}

template <typename T>
void sortByName(QList<T>& list) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(list.begin(), list.end(), [&](const T& a, const T& b) { return collator.compare(a.name, b.name) < 0; });
}

}  // namespace

ReplyProfile categoryDefault(QuickActionAppCategory category) {
    using M = ReplyProfile::Medium;
    ReplyProfile p;
    switch (category) {
    case QuickActionAppCategory::mail:
        p.medium = M::letter;
        p.signature = ReplyProfile::defaultSignature();
        break;
    case QuickActionAppCategory::chat:
        p.medium = M::chat;
        p.length = ReplyProfile::Length::shortForm;
        break;
    case QuickActionAppCategory::browser: p.signature = ReplyProfile::defaultSignature(); break;
    case QuickActionAppCategory::document:
    case QuickActionAppCategory::generic: break;
    }
    return p;
}

ReplyProfile resolve(const std::optional<QString>& bundleID, QuickActionAppCategory category) {
    if (bundleID)
        if (auto own = stored(*bundleID)) return *own;
    return categoryDefault(category);
}

std::optional<ReplyProfile> stored(const QString& bundleID) {
    const auto profiles = readProfiles();
    const auto it = profiles.constFind(bundleID);
    if (it == profiles.cend()) return std::nullopt;
    const Entry& e = it.value();
    ReplyProfile p;
    p.medium = mediumFromRaw(e.value(QStringLiteral("medium"))).value_or(ReplyProfile::Medium::automatic);
    p.tone = toneFromRaw(e.value(QStringLiteral("tone"))).value_or(ReplyProfile::Tone::automatic);
    p.length = lengthFromRaw(e.value(QStringLiteral("length"))).value_or(ReplyProfile::Length::matchIncoming);
    p.signature = e.value(QStringLiteral("signature"));
    p.extra = e.value(QStringLiteral("extra"));
    return p;
}

bool hasOwnProfile(const QString& bundleID) { return stored(bundleID).has_value(); }

void save(const std::optional<ReplyProfile>& profile, const QString& bundleID, const QString& appName) {
    QMap<QString, Entry> profiles = readProfiles();
    QString suffix;
    if (profile) {
        profiles.insert(bundleID, Entry{{QStringLiteral("medium"), rawValue(profile->medium)},
                                        {QStringLiteral("tone"), rawValue(profile->tone)},
                                        {QStringLiteral("length"), rawValue(profile->length)},
                                        {QStringLiteral("signature"), profile->signature},
                                        {QStringLiteral("extra"), profile->extra}});
        QMap<QString, QString> names = readNames();
        names.insert(bundleID, appName);
        QVariantMap namesOut;
        for (auto it = names.cbegin(); it != names.cend(); ++it) namesOut.insert(it.key(), it.value());
        Defaults::shared().set(NAMES_KEY, namesOut);
        suffix = QStringLiteral("сохранён");
    } else {
        profiles.remove(bundleID);
        suffix = QStringLiteral("сброшен на умолчание категории");
    }
    QVariantMap out;
    for (auto it = profiles.cbegin(); it != profiles.cend(); ++it) {
        QVariantMap fields;
        for (auto f = it.value().cbegin(); f != it.value().cend(); ++f) fields.insert(f.key(), f.value());
        out.insert(it.key(), fields);
    }
    Defaults::shared().set(PROFILES_KEY, out);
    logLine(QStringLiteral("Профиль ответа: ") + appName + QStringLiteral(" — ") + suffix);
}

QString appName(const QString& bundleID) { return readNames().value(bundleID, bundleID); }

QList<App> appsWithOwnProfile() {
    const auto names = readNames();
    QList<App> out;
    for (const QString& id : readProfiles().keys()) out.append({id, names.value(id, id)});
    sortByName(out);
    return out;
}

QList<PickerEntry> pickerEntries() {
    QList<PickerEntry> out;
    QSet<QString> listed;
    const auto add = [&](const QString& id, const QString& name, bool hasOwn) {
        if (listed.contains(id)) return;
        listed.insert(id);
        out.append({id, name, hasOwn});
    };
    for (const App& a : appsWithOwnProfile()) add(a.bundleID, a.name, true);
    for (const App& a : AppVocab::recentApps(1)) add(a.bundleID, a.name, false);
    const auto self = RunningApplication::shared().bundleIdentifier();
    QList<App> running;
    for (const AppIdentity& a : Workspace::shared().runningApplications()) {
        if (a.bundleIdentifier.isEmpty() || a.bundleIdentifier == self) continue;
        running.append({a.bundleIdentifier, a.localizedName.isEmpty() ? a.bundleIdentifier : a.localizedName});
    }
    sortByName(running);
    for (const App& a : running) add(a.bundleID, a.name, false);
    return out;
}

}  // namespace ReplyProfiles

}  // namespace murmelo
