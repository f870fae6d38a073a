#include "layout/SystemSubstitutions.h"

#include "base/Log.h"
#include "platform/Workspace.h"

#include <QSet>
#include <QStringList>

namespace murmelo::SystemSubstitutions {

namespace {
QSet<QString>& told() {
    static QSet<QString> set;
    return set;
}
}  // namespace

const std::vector<std::pair<QString, QString>>& keys() {
    static const std::vector<std::pair<QString, QString>> list = {
        {QStringLiteral("NSAutomaticSpellingCorrectionEnabled"), QStringLiteral("исправление орфографии")},
        {QStringLiteral("NSAutomaticCapitalizationEnabled"), QStringLiteral("заглавная в начале")},
        {QStringLiteral("NSAutomaticPeriodSubstitutionEnabled"), QStringLiteral("точка двойным пробелом")},
        {QStringLiteral("NSAutomaticQuoteSubstitutionEnabled"), QStringLiteral("кавычки-ёлочки")},
        {QStringLiteral("NSAutomaticDashSubstitutionEnabled"), QStringLiteral("длинное тире")},
    };
    return list;
}

bool appliesSubstitutions(const std::optional<AppIdentity>&) { return false; }

std::optional<bool> value(const QString&, const std::optional<QString>&) { return false; }

QString describe(const std::optional<QString>& bundleID) {
    QStringList parts;
    for (const auto& [key, name] : keys()) {
        const std::optional<bool> v = value(key, bundleID);
        parts << name + QStringLiteral(": ") +
                     (v ? (*v ? QStringLiteral("вкл") : QStringLiteral("выкл")) : QStringLiteral("умолчание"));
    }
    return parts.join(QStringLiteral(", "));
}

void noteOnce(const std::optional<QString>& bundleID, const QString& appName) {
    const QString identity = bundleID && !bundleID->isEmpty() ? *bundleID : appName;
    if (told().contains(identity)) return;
    told().insert(identity);
    logLine(QStringLiteral("среда/замены: ") + describe(bundleID) + QStringLiteral(" [") + appName + QStringLiteral("]"));
}

void resetForTesting() { told().clear(); }

}  // namespace murmelo::SystemSubstitutions
