#pragma once
#include "dictation/DictationNeighbours.h"

#include <QList>
#include <QString>

#include <optional>

namespace murmelo {

// The custom vocabulary: the terms the user expects to dictate, handed to the recogniser
// and to term snapping; the seed stands until the user saves any text, the empty one too.
inline const QString VOCAB_KEY = QStringLiteral("customVocab");
extern const QString VOCAB_SEED;

QString customVocab();
void setCustomVocab(const QString& text);

// An application's own vocabulary takes the place of the custom one for dictations into it
// (never merged), and the applications dictated into most recently, with a count each, for
// the settings picker. Everything lives in the user defaults; nothing is cached.
namespace AppVocab {

constexpr int pickerFloor = 3;
inline const QString TERMS_KEY = QStringLiteral("appVocab.terms");
inline const QString NAMES_KEY = QStringLiteral("appVocab.names");
inline const QString RECENT_KEY = QStringLiteral("appVocab.recent");
constexpr int RECENT_LIMIT = 12;

struct App {
    QString bundleID;
    QString name;
    bool operator==(const App&) const = default;
};
struct PickerEntry {
    QString bundleID;
    QString name;
    bool hasOwn = false;
    bool operator==(const PickerEntry&) const = default;
};

std::optional<QString> vocab(const std::optional<QString>& bundleID);
QString effectiveVocab(const std::optional<DictationContext>& context);
void setVocab(const std::optional<QString>& terms, const QString& bundleID, const QString& appName);
QString appName(const QString& bundleID);
QList<App> appsWithOwnVocab();
void noteUse(const std::optional<DictationContext>& context);
QList<App> recentApps(int minUses = 1);
QList<PickerEntry> pickerEntries();

}  // namespace AppVocab

}  // namespace murmelo
