#include "cleanup/SmartCleanupScenarioStore.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace murmelo {
namespace {

const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

std::optional<QString> textField(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

// A JSON integer: a number without a fraction, within the signed 64-bit range.
std::optional<qint64> integerField(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18) return std::nullopt;
    return qint64(d);
}

std::optional<QList<SmartCleanupSkillID>> skillList(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isArray()) return std::nullopt;
    QList<SmartCleanupSkillID> out;
    for (const QJsonValue& e : v.toArray()) {
        const auto skill = SmartCleanupSkillID::fromJson(e);
        if (!skill) return std::nullopt;
        out.append(*skill);
    }
    return out;
}

QJsonArray skillArray(const QList<SmartCleanupSkillID>& skills) {
    QJsonArray a;
    for (const SmartCleanupSkillID& s : skills) a.append(s.toJson());
    return a;
}

// An unreadable element is skipped on its own: letting it void the whole list would make
// the next confirmed scenario overwrite every other one the user confirmed.
std::optional<QList<SmartCleanupScenarioCase>> decodeScenarios(const QByteArray& data) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QList<SmartCleanupScenarioCase> out;
    for (const QJsonValue& e : doc.array()) {
        if (const auto scenario = SmartCleanupScenarioCase::fromJson(e)) out.append(*scenario);
    }
    return out;
}

bool admitted(const SmartCleanupScenarioCase& s) {
    return s.origin == SmartCleanupScenarioOrigin::confirmedCorrection &&
           graphemeCount(s.input) <= SmartCleanupScenarioStore::maximumTextLength &&
           graphemeCount(s.expected) <= SmartCleanupScenarioStore::maximumTextLength;
}

}  // namespace

QString SmartCleanupScenarioOrigins::rawValue(SmartCleanupScenarioOrigin origin) {
    switch (origin) {
    case SmartCleanupScenarioOrigin::builtIn: return QStringLiteral("builtIn");
    case SmartCleanupScenarioOrigin::generated: return QStringLiteral("generated");
    case SmartCleanupScenarioOrigin::confirmedCorrection: return QStringLiteral("confirmedCorrection");
    }
    return {};
}

std::optional<SmartCleanupScenarioOrigin> SmartCleanupScenarioOrigins::fromRawValue(const QString& raw) {
    for (auto o : {SmartCleanupScenarioOrigin::builtIn, SmartCleanupScenarioOrigin::generated,
                   SmartCleanupScenarioOrigin::confirmedCorrection}) {
        if (rawValue(o) == raw) return o;
    }
    return std::nullopt;
}

QJsonObject SmartCleanupScenarioCase::toJson() const {
    QJsonObject o;
    o.insert("id", id);
    o.insert("input", input);
    o.insert("expected", expected);
    o.insert("mode", SmartCleanupModes::toJson(mode));
    o.insert("origin", SmartCleanupScenarioOrigins::rawValue(origin));
    o.insert("requiredSkills", skillArray(requiredSkills));
    return o;
}

std::optional<SmartCleanupScenarioCase> SmartCleanupScenarioCase::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto id = textField(o, "id");
    const auto input = textField(o, "input");
    const auto expected = textField(o, "expected");
    const auto mode = SmartCleanupModes::fromJson(o.value("mode"));
    const auto originText = textField(o, "origin");
    const auto origin = originText ? SmartCleanupScenarioOrigins::fromRawValue(*originText) : std::nullopt;
    const auto skills = skillList(o, "requiredSkills");
    if (!id || !input || !expected || !mode || !origin || !skills) return std::nullopt;
    return SmartCleanupScenarioCase{*id, *input, *expected, *mode, *origin, *skills};
}

QString SmartCleanupEvaluationFailure::rawValue(Reason reason) {
    switch (reason) {
    case Reason::outputMismatch: return QStringLiteral("outputMismatch");
    case Reason::literalMutation: return QStringLiteral("literalMutation");
    case Reason::nonIdempotent: return QStringLiteral("nonIdempotent");
    case Reason::emptyOutput: return QStringLiteral("emptyOutput");
    }
    return {};
}

std::optional<SmartCleanupEvaluationFailure::Reason> SmartCleanupEvaluationFailure::reasonFromRawValue(
    const QString& raw) {
    for (auto r : {Reason::outputMismatch, Reason::literalMutation, Reason::nonIdempotent, Reason::emptyOutput}) {
        if (rawValue(r) == raw) return r;
    }
    return std::nullopt;
}

QJsonObject SmartCleanupEvaluationFailure::toJson() const {
    return QJsonObject{{"scenarioID", scenarioID}, {"reason", rawValue(reason)}};
}

std::optional<SmartCleanupEvaluationFailure> SmartCleanupEvaluationFailure::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto id = textField(o, "scenarioID");
    const auto reasonText = textField(o, "reason");
    const auto reason = reasonText ? reasonFromRawValue(*reasonText) : std::nullopt;
    if (!id || !reason) return std::nullopt;
    return SmartCleanupEvaluationFailure{*id, *reason};
}

QJsonObject SmartCleanupRulePackSnapshot::toJson() const {
    QJsonObject o;
    o.insert("version", version);
    o.insert("activeSkills", skillArray(activeSkills));
    o.insert("evaluatedAt", double(kReferenceDate.msecsTo(evaluatedAt)) / 1000.0);
    o.insert("totalCount", totalCount);
    o.insert("failureCount", failureCount);
    o.insert("confirmedScenarioCount", confirmedScenarioCount);
    return o;
}

std::optional<SmartCleanupRulePackSnapshot> SmartCleanupRulePackSnapshot::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto version = textField(o, "version");
    const auto skills = skillList(o, "activeSkills");
    const QJsonValue at = o.value("evaluatedAt");
    const auto total = integerField(o, "totalCount");
    const auto failures = integerField(o, "failureCount");
    const auto confirmed = integerField(o, "confirmedScenarioCount");
    if (!version || !skills || !at.isDouble() || !total || !failures || !confirmed) return std::nullopt;
    const QDateTime when = kReferenceDate.addMSecs(qint64(std::llround(at.toDouble() * 1000.0)));
    return SmartCleanupRulePackSnapshot{*version, *skills, when, *total, *failures, *confirmed};
}

QList<SmartCleanupSkillID> sortedSkills(const QSet<SmartCleanupSkillID>& skills) {
    QList<SmartCleanupSkillID> out(skills.begin(), skills.end());
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.rawValue < b.rawValue; });
    return out;
}

bool sameCleanupText(const QString& a, const QString& b) {
    if (a == b) return true;
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

SmartCleanupScenarioStore& SmartCleanupScenarioStore::shared() {
    static SmartCleanupScenarioStore store;
    return store;
}

SmartCleanupScenarioStore::SmartCleanupScenarioStore(Defaults* defaults) : defaults_(defaults) {}

Defaults& SmartCleanupScenarioStore::defaults() const { return defaults_ ? *defaults_ : Defaults::shared(); }

QList<SmartCleanupScenarioCase> SmartCleanupScenarioStore::confirmedScenarios() const {
    const auto stored = decodeScenarios(defaults().dataValue(scenariosKey));
    if (!stored) return {};
    QList<SmartCleanupScenarioCase> out;
    for (const SmartCleanupScenarioCase& s : *stored) {
        if (admitted(s)) out.append(s);
    }
    return out;
}

std::optional<SmartCleanupRulePackSnapshot> SmartCleanupScenarioStore::snapshot() const {
    const QByteArray data = defaults().dataValue(snapshotKey);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return SmartCleanupRulePackSnapshot::fromJson(doc.object());
}

bool SmartCleanupScenarioStore::addConfirmed(const SmartCleanupScenarioCase& scenario) {
    if (scenario.origin != SmartCleanupScenarioOrigin::confirmedCorrection) return false;
    if (scenario.input.isEmpty() || scenario.expected.isEmpty()) return false;
    if (graphemeCount(scenario.input) > maximumTextLength || graphemeCount(scenario.expected) > maximumTextLength)
        return false;

    QList<SmartCleanupScenarioCase> list = confirmedScenarios();
    list.removeIf([&](const SmartCleanupScenarioCase& s) {
        return s.mode == scenario.mode && s.input.compare(scenario.input, Qt::CaseInsensitive) == 0;
    });
    list.prepend(scenario);
    if (list.size() > maximumScenarioCount) list.resize(maximumScenarioCount);

    QJsonArray array;
    for (const SmartCleanupScenarioCase& s : list) array.append(s.toJson());
    defaults().set(scenariosKey, QJsonDocument(array).toJson(QJsonDocument::Compact));
    return true;
}

void SmartCleanupScenarioStore::saveSnapshot(const SmartCleanupRulePackSnapshot& snapshot) {
    defaults().set(snapshotKey, QJsonDocument(snapshot.toJson()).toJson(QJsonDocument::Compact));
}

void SmartCleanupScenarioStore::clearConfirmedScenarios() { defaults().remove(scenariosKey); }

}  // namespace murmelo
