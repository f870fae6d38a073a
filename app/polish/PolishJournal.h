#pragma once
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace murmelo {

// The last polish edits written into other applications, in memory only: when, where, by
// which road, the text before and after. Every noted edit is also counted in the monthly
// statistics. Main thread only.
namespace PolishJournal {

// Which polish road wrote an entry; the "vudi" names carry the corrector model's name.
namespace Rule {
inline const QString vudiLive = QStringLiteral("vudi/live");
inline const QString vudiManual = QStringLiteral("vudi/ax");
inline const QString vudiBuffer = QStringLiteral("vudi/buffer");
inline const QString capSentence = QStringLiteral("cap/sentence");
const QSet<QString>& all();
}  // namespace Rule

struct Entry {
    QDateTime at;
    QString app;  // the front application's name, "?" when there is none
    QString rule;
    QString before;
    QString after;
    qint64 location = 0;  // UTF-16 offset of the written range; 0 when the road does not know it
    std::optional<qint32> pid;
    bool operator==(const Entry&) const = default;
};

inline constexpr int LIMIT = 50;

// Oldest first.
QList<Entry>& entries();

void note(const QString& rule, const QString& before, const QString& after, qint64 at, std::optional<qint32> pid);
// The newest entry of that process; none matches only entries noted without a process.
std::optional<Entry> last(std::optional<qint32> pid);
// Removes every entry noted at the same moment and location as the given one.
void drop(const Entry& entry);
void clear();

}  // namespace PolishJournal
}  // namespace murmelo
