#pragma once
#include "ai/QuickActionID.h"
#include "reply/ReplyProfile.h"
#include "vocabulary/AppVocab.h"

#include <QList>
#include <QString>
#include <optional>

namespace murmelo {

// The Russian name of a category, shown beside the profile that falls back to its default.
QString ruTitle(QuickActionAppCategory category);

// The applications' own reply profiles in the settings: every call reads them afresh, so a
// change in the settings window holds from the next reply on. Bundle identifiers match
// exactly, as stored.
namespace ReplyProfiles {

inline const QString PROFILES_KEY = QStringLiteral("replyProfiles");
inline const QString NAMES_KEY = QStringLiteral("replyProfiles.names");

// The settings pickers of vocabularies and reply profiles list applications alike.
using App = AppVocab::App;
using PickerEntry = AppVocab::PickerEntry;

// What a category's applications get without a profile of their own; mail and browsers sign
// with the global signature as it is at the moment of the call.
ReplyProfile categoryDefault(QuickActionAppCategory category);
ReplyProfile resolve(const std::optional<QString>& bundleID, QuickActionAppCategory category);
std::optional<ReplyProfile> stored(const QString& bundleID);
bool hasOwnProfile(const QString& bundleID);
// Stores the application's profile, or with none removes it (the name stays known); logs
// which of the two happened.
void save(const std::optional<ReplyProfile>& profile, const QString& bundleID, const QString& appName);
QString appName(const QString& bundleID);
// By name, ignoring case, in the user's collation.
QList<App> appsWithOwnProfile();
// Own profiles first, then the applications dictated into lately, then the ones running
// with a window (this program excluded), each identifier once.
QList<PickerEntry> pickerEntries();

}  // namespace ReplyProfiles

}  // namespace murmelo
