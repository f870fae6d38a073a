#include "layout/LayoutAppStats.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Workspace.h"

#include <QVariantMap>
#include <memory>

namespace murmelo {

namespace {

const QString EN = QStringLiteral("en");
const QString RU = QStringLiteral("ru");
const QString FLIP = QStringLiteral("flip");
const QString LATIN1RU = QStringLiteral("latin1ru");

std::unique_ptr<LayoutAppStats>& sharedSlot() {
    static std::unique_ptr<LayoutAppStats> slot;
    return slot;
}

// All or nothing: one value of the wrong form and the stored counts are ignored whole.
std::optional<QHash<QString, QHash<QString, qint64>>> readStored(const QVariant& value) {
    if (value.typeId() != QMetaType::QVariantMap) return std::nullopt;
    QHash<QString, QHash<QString, qint64>> out;
    const QVariantMap apps = value.toMap();
    for (auto a = apps.cbegin(); a != apps.cend(); ++a) {
        if (a.value().typeId() != QMetaType::QVariantMap) return std::nullopt;
        QHash<QString, qint64> counters;
        const QVariantMap m = a.value().toMap();
        for (auto c = m.cbegin(); c != m.cend(); ++c) {
            const int t = c.value().typeId();
            if (t != QMetaType::LongLong && t != QMetaType::Int && t != QMetaType::ULongLong && t != QMetaType::UInt)
                return std::nullopt;
            counters.insert(c.key(), c.value().toLongLong());
        }
        out.insert(a.key(), counters);
    }
    return out;
}

}  // namespace

LayoutAppStats::LayoutAppStats(QString key) : storeKey(std::move(key)), appName(QStringLiteral("?")) {
    if (auto stored = Defaults::shared().object(storeKey))
        if (auto s = readStored(*stored)) stats = std::move(*s);
    if (auto front = Workspace::shared().frontmostApplication()) {
        if (!front->bundleIdentifier.isEmpty()) bundle = front->bundleIdentifier;
        if (!front->localizedName.isEmpty()) appName = front->localizedName;
    }
}

LayoutAppStats& LayoutAppStats::shared() {
    auto& slot = sharedSlot();
    if (!slot) slot = std::make_unique<LayoutAppStats>();
    return *slot;
}

void LayoutAppStats::resetSharedForTesting() { sharedSlot().reset(); }

void LayoutAppStats::noteWord(const std::optional<QString>& lang, bool soloLatin) {
    if (lang == EN || lang == RU) {
        delta[*lang] += 1;
        if (lastTokenSoloLatin && lang == RU) delta[LATIN1RU] += 1;
    }
    lastTokenSoloLatin = soloLatin;
}

void LayoutAppStats::noteFlip() { delta[FLIP] += 1; }

void LayoutAppStats::flush() {
    if (!bundle || delta.isEmpty()) {
        delta.clear();
        return;
    }
    QHash<QString, qint64>& app = stats[*bundle];
    for (auto it = delta.cbegin(); it != delta.cend(); ++it) app[it.key()] += it.value();

    QVariantMap stored;
    for (auto a = stats.cbegin(); a != stats.cend(); ++a) {
        QVariantMap counters;
        for (auto c = a.value().cbegin(); c != a.value().cend(); ++c) counters.insert(c.key(), c.value());
        stored.insert(a.key(), counters);
    }
    Defaults::shared().set(storeKey, stored);

    const auto n = [this](const QString& k) { return QString::number(delta.value(k, 0)); };
    logLine(QStringLiteral("layout/приложение: ") + appName + QStringLiteral(" en=") + n(EN) + QStringLiteral(" ru=") +
            n(RU) + QStringLiteral(" ") + QStringLiteral("флип=") + n(FLIP) + QStringLiteral(" латин1→ру=") +
            n(LATIN1RU) + QStringLiteral(" (") + *bundle + QStringLiteral(")"));
    delta.clear();
}

std::optional<QString> LayoutAppStats::prior(const QString& b) const {
    const QHash<QString, qint64> app = stats.value(b);
    qint64 en = app.value(EN, 0);
    qint64 ru = app.value(RU, 0);
    if (bundle == b) {
        en += delta.value(EN, 0);
        ru += delta.value(RU, 0);
    }
    return activationPrior(en, ru);
}

std::optional<QString> LayoutAppStats::activationPrior(qint64 en, qint64 ru, qint64 minTotal, double minShare) {
    const qint64 total = en + ru;
    if (total < minTotal || total <= 0) return std::nullopt;
    if (double(en) / double(total) >= minShare) return EN;
    if (double(ru) / double(total) >= minShare) return RU;
    return std::nullopt;
}

void LayoutAppStats::appActivated(const std::optional<QString>& b, const QString& name) {
    flush();
    bundle = b;
    appName = name;
    lastTokenSoloLatin = false;
}

}  // namespace murmelo
