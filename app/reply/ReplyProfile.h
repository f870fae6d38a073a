#pragma once
#include <QList>
#include <QString>
#include <optional>

namespace murmelo {

enum class ReplyTaskKind;

// How replies composed for one application should look. A plain value; the stored profiles
// and the category defaults are read afresh from the settings on every call.
struct ReplyProfile {
    enum class Medium { automatic, letter, chat, comment };
    enum class Tone { automatic, formal, neutral, casual };
    enum class Length { matchIncoming, shortForm, detailed };

    Medium medium = Medium::automatic;
    Tone tone = Tone::automatic;
    Length length = Length::matchIncoming;
    QString signature;  // the name put on the line after a sign-off; empty: none
    QString extra;      // the user's standing rule for the application; empty: none
    bool operator==(const ReplyProfile&) const = default;

    // The English lines the model is given for this profile: medium, content brief (replies
    // only), register, length, signature and the user's standing rule, one per line. Empty
    // for a translation, which must carry the source over unchanged.
    QString promptRules(ReplyTaskKind task) const;

    // The settings key of the global letter signature.
    static QString signatureKey();
    // The stored global signature, trimmed; empty when none is stored.
    static QString defaultSignature();
    // Stores the signature trimmed and logs whether one is set; the signature never reaches the log.
    static void setDefaultSignature(const QString& signature);
};

// Raw values equal the case names ("auto" for `automatic`, "short" for `shortForm`); `title` is
// the Russian label of the settings pickers; the lists give the cases in picker order.
QString rawValue(ReplyProfile::Medium medium);
QString rawValue(ReplyProfile::Tone tone);
QString rawValue(ReplyProfile::Length length);
QString title(ReplyProfile::Medium medium);
QString title(ReplyProfile::Tone tone);
QString title(ReplyProfile::Length length);
const QList<ReplyProfile::Medium>& allMediums();
const QList<ReplyProfile::Tone>& allTones();
const QList<ReplyProfile::Length>& allLengths();
std::optional<ReplyProfile::Medium> mediumFromRaw(const QString& raw);
std::optional<ReplyProfile::Tone> toneFromRaw(const QString& raw);
std::optional<ReplyProfile::Length> lengthFromRaw(const QString& raw);

}  // namespace murmelo
