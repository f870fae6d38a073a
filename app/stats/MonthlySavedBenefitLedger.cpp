#include "stats/MonthlySavedBenefitLedger.h"

#include "base/Saturating.h"
#include "stats/MonthlyBenefitFormula.h"
#include "stats/StatsJson.h"

namespace murmelo {

namespace {

double total(double migrated, const std::map<qint64, double>& byDay) {
    double sum = migrated;
    for (const auto& [day, seconds] : byDay) sum += seconds;
    return sum;
}

const QString kMigratedVoice = QStringLiteral("migratedVoiceSeconds");
const QString kMigratedCorrection = QStringLiteral("migratedCorrectionSeconds");
const QString kMigratedLayout = QStringLiteral("migratedLayoutSeconds");
const QString kVoiceByDay = QStringLiteral("voiceSecondsByDay");
const QString kCorrectionByDay = QStringLiteral("correctionSecondsByDay");
const QString kLayoutByDay = QStringLiteral("layoutSecondsByDay");
const QString kPendingByDay = QStringLiteral("pendingVoiceByDay");
const QString kCharacters = QStringLiteral("characters");
const QString kVoiceSeconds = QStringLiteral("voiceSeconds");

std::optional<MonthlySavedBenefitLedger::PendingVoiceBenefit> pendingFromJson(const QJsonValue& json) {
    if (!json.isObject()) return std::nullopt;
    const QJsonObject object = json.toObject();
    MonthlySavedBenefitLedger::PendingVoiceBenefit entry;
    if (!StatsJson::readInteger(object, kCharacters, entry.characters, nullptr)) return std::nullopt;
    if (!StatsJson::readSeconds(object, kVoiceSeconds, entry.voiceSeconds, nullptr)) return std::nullopt;
    return entry;
}

}  // namespace

double MonthlySavedBenefitLedger::voiceSeconds() const { return total(migratedVoiceSeconds, voiceSecondsByDay); }

double MonthlySavedBenefitLedger::correctionSeconds() const {
    return total(migratedCorrectionSeconds, correctionSecondsByDay);
}

double MonthlySavedBenefitLedger::layoutSeconds() const { return total(migratedLayoutSeconds, layoutSecondsByDay); }

void MonthlySavedBenefitLedger::queueVoiceBenefit(qint64 day, qint64 characters, double voiceSeconds) {
    if (day < 1) return;
    PendingVoiceBenefit& entry = pendingVoiceByDay[day];
    entry.characters = saturatingAdd(entry.characters, characters);
    // Written so that not-a-number also counts as 0: a day's value never goes down.
    entry.voiceSeconds += voiceSeconds > 0 ? voiceSeconds : 0.0;
}

void MonthlySavedBenefitLedger::addCorrectionBenefit(qint64 day, qint64 corrections) {
    correctionSecondsByDay[day] += double(corrections) * MonthlyBenefitFormula::correctionSeconds;
}

void MonthlySavedBenefitLedger::addLayoutBenefit(qint64 day) {
    layoutSecondsByDay[day] += MonthlyBenefitFormula::layoutSeconds;
}

bool MonthlySavedBenefitLedger::settlePendingVoiceBenefit(std::optional<qint64> charactersPerMinute) {
    if (!charactersPerMinute || *charactersPerMinute < 1) return false;
    if (pendingVoiceByDay.empty()) return false;
    const double speed = double(*charactersPerMinute);
    for (const auto& [day, entry] : pendingVoiceByDay) {
        const double saved = double(entry.characters) / speed * 60.0 - entry.voiceSeconds;
        voiceSecondsByDay[day] += saved > 0 ? saved : 0.0;
    }
    pendingVoiceByDay.clear();
    return true;
}

std::optional<QJsonObject> MonthlySavedBenefitLedger::toJson(QString* error) const {
    StatsJson::Writer w;
    w.seconds(kMigratedVoice, migratedVoiceSeconds);
    w.seconds(kMigratedCorrection, migratedCorrectionSeconds);
    w.seconds(kMigratedLayout, migratedLayoutSeconds);
    w.secondsMap(kVoiceByDay, voiceSecondsByDay);
    w.secondsMap(kCorrectionByDay, correctionSecondsByDay);
    w.secondsMap(kLayoutByDay, layoutSecondsByDay);
    QJsonObject pending;
    for (const auto& [day, entry] : pendingVoiceByDay) {
        StatsJson::Writer e;
        e.integer(kCharacters, entry.characters);
        e.seconds(kVoiceSeconds, entry.voiceSeconds);
        QString why;
        const std::optional<QJsonObject> object = e.finish(&why);
        if (!object) {
            w.fail(QStringLiteral("%1.%2.%3").arg(kPendingByDay).arg(day).arg(why));
            continue;
        }
        pending.insert(QString::number(day), *object);
    }
    w.value(kPendingByDay, pending);
    return w.finish(error);
}

std::optional<MonthlySavedBenefitLedger> MonthlySavedBenefitLedger::fromJson(const QJsonValue& json, QString* error) {
    if (!json.isObject()) {
        if (error) *error = QStringLiteral("expected an object");
        return std::nullopt;
    }
    const QJsonObject object = json.toObject();
    MonthlySavedBenefitLedger ledger;
    const auto seconds = [](const QJsonValue& v) { return StatsJson::seconds(v); };
    const bool ok = StatsJson::readSeconds(object, kMigratedVoice, ledger.migratedVoiceSeconds, error)
                    && StatsJson::readSeconds(object, kMigratedCorrection, ledger.migratedCorrectionSeconds, error)
                    && StatsJson::readSeconds(object, kMigratedLayout, ledger.migratedLayoutSeconds, error)
                    && StatsJson::readIntegerKeyedMap(object, kVoiceByDay, ledger.voiceSecondsByDay, error, seconds)
                    && StatsJson::readIntegerKeyedMap(object, kCorrectionByDay, ledger.correctionSecondsByDay, error,
                                                      seconds)
                    && StatsJson::readIntegerKeyedMap(object, kLayoutByDay, ledger.layoutSecondsByDay, error, seconds)
                    && StatsJson::readIntegerKeyedMap(object, kPendingByDay, ledger.pendingVoiceByDay, error,
                                                      pendingFromJson);
    if (!ok) return std::nullopt;
    return ledger;
}

}  // namespace murmelo
