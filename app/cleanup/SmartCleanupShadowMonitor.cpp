#include "cleanup/SmartCleanupShadowMonitor.h"

#include "base/Defaults.h"
#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupScenarioStore.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace murmelo {
namespace {

std::optional<qint64> integer(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18) return std::nullopt;
    return qint64(d);
}

SmartCleanupShadowSnapshot fresh() { return {SmartCleanupSkillRegistry::rulePackVersion, 0, 0, {}}; }

}  // namespace

QJsonObject SmartCleanupShadowSnapshot::toJson() const {
    QJsonObject o;
    o.insert("rulePackVersion", rulePackVersion);
    o.insert("evaluatedCount", evaluatedCount);
    o.insert("divergenceCount", divergenceCount);
    o.insert("candidateRuleIDs", QJsonArray::fromStringList(candidateRuleIDs));
    return o;
}

std::optional<SmartCleanupShadowSnapshot> SmartCleanupShadowSnapshot::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    const QJsonValue version = o.value("rulePackVersion");
    const auto evaluated = integer(o.value("evaluatedCount"));
    const auto divergence = integer(o.value("divergenceCount"));
    const QJsonValue ids = o.value("candidateRuleIDs");
    if (!version.isString() || !evaluated || !divergence || !ids.isArray()) return std::nullopt;
    QStringList list;
    for (const QJsonValue& e : ids.toArray()) {
        if (!e.isString()) return std::nullopt;
        list << e.toString();
    }
    return SmartCleanupShadowSnapshot{version.toString(), *evaluated, *divergence, list};
}

SmartCleanupShadowMonitor& SmartCleanupShadowMonitor::shared() {
    static SmartCleanupShadowMonitor monitor;
    return monitor;
}

SmartCleanupShadowMonitor::SmartCleanupShadowMonitor(Defaults* defaults) : defaults_(defaults) {}

Defaults& SmartCleanupShadowMonitor::defaults() const { return defaults_ ? *defaults_ : Defaults::shared(); }

// Never writes: a fresh record reaches storage with the next observation.
SmartCleanupShadowSnapshot SmartCleanupShadowMonitor::load() const {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(defaults().dataValue(key), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return fresh();
    const auto stored = SmartCleanupShadowSnapshot::fromJson(doc.object());
    if (!stored || stored->rulePackVersion != SmartCleanupSkillRegistry::rulePackVersion) return fresh();
    return *stored;
}

void SmartCleanupShadowMonitor::observe(const QString& learnedInput, SmartCleanupMode mode,
                                        const QString& activeOutput) {
    if (mode == SmartCleanupMode::literal || learnedInput.isEmpty()) return;
    // The live clean-up picks profiles by language and uses the activated skills; the
    // candidate takes every profile and every skill, so a difference from either counts.
    const SmartCleanupResult candidate =
        SmartCleanupEngine(SmartCleanupProfileRegistry::defaultProfiles(), SmartCleanupSkillRegistry::all())
            .process(learnedInput, mode);

    std::lock_guard guard(lock_);
    SmartCleanupShadowSnapshot record = load();
    record.evaluatedCount += 1;
    if (!sameCleanupText(candidate.text, activeOutput)) {
        record.divergenceCount += 1;
        QStringList ids;
        for (const SmartCleanupTrace& entry : candidate.trace) {
            if (!ids.contains(entry.ruleID.rawValue)) ids << entry.ruleID.rawValue;
        }
        std::sort(ids.begin(), ids.end());
        record.candidateRuleIDs = ids;
    }
    defaults().set(key, QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact));
}

SmartCleanupShadowSnapshot SmartCleanupShadowMonitor::snapshot() const {
    std::lock_guard guard(lock_);
    return load();
}

}  // namespace murmelo
