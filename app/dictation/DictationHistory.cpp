#include "dictation/DictationHistory.h"

#include "base/Defaults.h"
#include "input/HistoryMenus.h"

#include <QVariant>

namespace murmelo {

bool isDictationHistoryEnabled() {
    return Defaults::shared().realBool(HISTORY_ENABLED_KEY).value_or(true);
}

void setDictationHistoryEnabled(bool on) { Defaults::shared().set(HISTORY_ENABLED_KEY, on); }

// The stored list is the list: it is written at every addition and removed by clearing,
// so reading it back is the same as keeping a copy, and nobody's copy can go stale.
QStringList dictationHistory() { return HistoryMenus::dictationHistory(); }

void addToHistory(const QString& text) {
    if (!isDictationHistoryEnabled()) return;
    QStringList list = dictationHistory();
    list.removeAll(text);
    list.prepend(text);
    while (list.size() > HISTORY_MAX) list.removeLast();
    QVariantList stored;
    for (const QString& entry : list) stored << entry;
    Defaults::shared().set(HISTORY_KEY, stored);
    HistoryMenus::rebuildHistoryMenu();
}

}  // namespace murmelo
