#pragma once
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <map>
#include <optional>

namespace murmelo {

// Saved time booked per day inside one month's record, so that time once saved keeps the
// value it had when it was earned: a later change of the month's typing speed does not
// revalue earlier days. Dictation that arrives while the month has no typing speed waits in
// pending entries and is valued once a speed exists. Day numbers are days of the month.
//
// A plain value, built member-wise in field order (the maps default to empty); the empty
// ledger is `MonthlySavedBenefitLedger{}`.
struct MonthlySavedBenefitLedger {
    struct PendingVoiceBenefit {
        qint64 characters = 0;     // dictated characters waiting to be valued
        double voiceSeconds = 0.0; // the voice time of those dictations
        bool operator==(const PendingVoiceBenefit&) const = default;
    };

    // The month's saving at the moment the ledger was created.
    double migratedVoiceSeconds = 0.0;
    double migratedCorrectionSeconds = 0.0;
    double migratedLayoutSeconds = 0.0;
    std::map<qint64, double> voiceSecondsByDay = {};
    std::map<qint64, double> correctionSecondsByDay = {};
    std::map<qint64, double> layoutSecondsByDay = {};
    std::map<qint64, PendingVoiceBenefit> pendingVoiceByDay = {};

    bool operator==(const MonthlySavedBenefitLedger&) const = default;

    // Totals: the migrated value plus every booked day. Pending entries count for nothing
    // until they are settled.
    double voiceSeconds() const;
    double correctionSeconds() const;
    double layoutSeconds() const;

    // Parks one dictation's characters and voice time (negative counts as 0) on its day until
    // a typing speed can value them. Days below 1 are not booked.
    void queueVoiceBenefit(qint64 day, qint64 characters, double voiceSeconds);
    // Books `corrections` corrections of typed text on a day.
    void addCorrectionBenefit(qint64 day, qint64 corrections);
    // Books one automatic layout correction on a day. Undoing it does not take it back.
    void addLayoutBenefit(qint64 day);
    // Values every pending entry at `charactersPerMinute` onto its day and empties the pending
    // map. False, and nothing changes, without a usable speed (below 1) or without pending
    // entries.
    bool settlePendingVoiceBenefit(std::optional<qint64> charactersPerMinute);

    // All seven members always written; fails (nothing, with the reason in `error`) only on a
    // value JSON cannot hold.
    std::optional<QJsonObject> toJson(QString* error = nullptr) const;
    // Every member required; a mistyped value or a map member name that is not a decimal
    // integer makes the ledger undecodable. Other members are ignored.
    static std::optional<MonthlySavedBenefitLedger> fromJson(const QJsonValue& json, QString* error = nullptr);
};

}  // namespace murmelo
