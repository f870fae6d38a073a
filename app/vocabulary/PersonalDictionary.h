#pragma once
#include <QString>
#include <QStringList>

#include <optional>

namespace murmelo {

// The user's own words (names, brands, jargon) that dictation, the layout switcher and
// polish treat as real words. The list lives in the user defaults; the lower-cased lookup
// set is cached under a lock because knows() is asked for every word from any thread.
namespace PersonalDictionary {

inline const QString KEY = QStringLiteral("personalDictionary");
constexpr int LIMIT = 500;
constexpr int MIN_LENGTH = 2;
constexpr int MAX_LENGTH = 32;

QStringList words();
int count();
bool knows(const QString& word);
std::optional<QString> normalized(const QString& word);
bool add(const QString& word);
void setWords(const QStringList& list);
QStringList parse(const QString& text);
QString joined();
void invalidateCache();

}  // namespace PersonalDictionary

}  // namespace murmelo
