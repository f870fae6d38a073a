#include "polish/PolishJournal.h"

#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "stats/MonthlyStats.h"

#include <algorithm>

namespace murmelo::PolishJournal {

const QSet<QString>& Rule::all() {
    static const QSet<QString> rules{vudiLive, vudiManual, vudiBuffer, capSentence};
    return rules;
}

QList<Entry>& entries() {
    static QList<Entry> list;
    return list;
}

void note(const QString& rule, const QString& before, const QString& after, qint64 at, std::optional<qint32> pid) {
    // Counted first: an edit counts even after the journal has let its entry go.
    MonthlyStats::noteTextCorrection(before, after);
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    const QString app = front && !front->localizedName.isEmpty() ? front->localizedName : QStringLiteral("?");
    QList<Entry>& list = entries();
    list.append(Entry{Clock::shared().now(), app, rule, before, after, at, pid});
    if (list.size() > LIMIT) list.erase(list.begin(), list.begin() + (list.size() - LIMIT));
}

std::optional<Entry> last(std::optional<qint32> pid) {
    const QList<Entry>& list = entries();
    for (auto it = list.crbegin(); it != list.crend(); ++it)
        if (it->pid == pid) return *it;
    return std::nullopt;
}

void drop(const Entry& entry) {
    entries().removeIf([&entry](const Entry& e) { return e.at == entry.at && e.location == entry.location; });
}

void clear() { entries().clear(); }

}  // namespace murmelo::PolishJournal
