#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// The most recent recognised texts, newest first, also those that were not inserted; the
// status menu's recent-dictations submenu shows them. Main thread only.
inline const QString HISTORY_KEY = QStringLiteral("dictationHistory");
inline const QString HISTORY_ENABLED_KEY = QStringLiteral("dictationHistoryEnabled");
inline constexpr int HISTORY_MAX = 50;

// On unless a real Boolean false is stored.
bool isDictationHistoryEnabled();
// Only stops or resumes additions; what is stored stays.
void setDictationHistoryEnabled(bool on);
// Moves an equal entry to the front, or adds the text there, keeping at most HISTORY_MAX;
// stores the list and refills the submenu.
void addToHistory(const QString& text);
// The list as stored: empty unless every stored element is a text.
QStringList dictationHistory();

}  // namespace murmelo
