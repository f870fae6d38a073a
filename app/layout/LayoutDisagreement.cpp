#include "layout/LayoutDisagreement.h"

#include "base/Log.h"
#include "layout/LayoutWordShape.h"

#include <algorithm>

namespace murmelo {

namespace {

qint64 ttlMs() { return qint64(LayoutSwitcher::disagreementVetoTTL * 1000); }

bool fresh(const QDateTime& at, const QDateTime& now) { return at.msecsTo(now) < ttlMs(); }

// Makes room for one more entry by dropping the oldest.
template <class Map, class At>
void makeRoom(Map& map, At at) {
    if (map.size() < LayoutSwitcher::disagreementVetoCap) return;
    auto oldest = map.begin();
    for (auto it = map.begin(); it != map.end(); ++it)
        if (at(it.value()) < at(oldest.value())) oldest = it;
    map.erase(oldest);
}

}  // namespace

QString LayoutDisagreement::disagreementKey(const QString& word) {
    const QString body = LayoutWordShape::peelSlashAffixes(word).core;
    return LayoutWordShape::splitAffixesPlain(body, WordClasses::punctAll()).core.toLower();
}

void LayoutDisagreement::noteDisagreement(const QString& word, const QString& why, std::optional<QUuid> conversion,
                                          std::optional<int> strikesNeeded) {
    const QString key = disagreementKey(word);
    if (wordChars(key).size() < 2) return;
    const int needed = strikesNeeded.value_or(engine_.rules().vetoStrikes());
    const QDateTime now = Clock::shared().now();
    for (auto it = engine_.disagreementVeto.begin(); it != engine_.disagreementVeto.end();)
        it = fresh(it.value(), now) ? std::next(it) : engine_.disagreementVeto.erase(it);
    for (auto it = engine_.disagreementStrike.begin(); it != engine_.disagreementStrike.end();)
        it = fresh(it.value().at, now) ? std::next(it) : engine_.disagreementStrike.erase(it);

    if (needed > 1 && !engine_.disagreementVeto.contains(key)) {
        auto strike = engine_.disagreementStrike.find(key);
        if (strike == engine_.disagreementStrike.end()) {
            makeRoom(engine_.disagreementStrike, [](const LayoutSwitcher::DisagreementStrike& s) { return s.at; });
            engine_.disagreementStrike.insert(key, LayoutSwitcher::DisagreementStrike{now, conversion});
            logLine(QStringLiteral("layout: несогласие -> ") + priv(word) + QStringLiteral(" (") + why +
                    QStringLiteral(") — первый откат, в моменте уважаем, память не взводим (R46)"));
            return;
        }
        if (conversion && strike->conversion == conversion) {
            logLine(QStringLiteral("layout: несогласие -> ") + priv(word) + QStringLiteral(" (") + why +
                    QStringLiteral(") — второй детектор про ТУ ЖЕ правку, откат считаем один (R46)"));
            return;
        }
        engine_.disagreementStrike.erase(strike);
    }
    if (!engine_.disagreementVeto.contains(key))
        makeRoom(engine_.disagreementVeto, [](const QDateTime& at) { return at; });
    engine_.disagreementVeto.insert(key, now);
    logLine(QStringLiteral("layout: вето несогласия -> ") + priv(word) + QStringLiteral(" (") + why +
            QStringLiteral(") — это слово не конвертируем %1 мин").arg(qint64(LayoutSwitcher::disagreementVetoTTL) / 60));
}

bool LayoutDisagreement::disagreementVetoedBoundary(const QString& word) {
    if (engine_.disagreementVeto.isEmpty()) return false;
    auto it = engine_.disagreementVeto.find(disagreementKey(word));
    if (it == engine_.disagreementVeto.end()) return false;
    if (fresh(it.value(), Clock::shared().now())) return true;
    engine_.disagreementVeto.erase(it);
    return false;
}

bool LayoutDisagreement::disagreementVetoedLive(const QString& prefix) const {
    if (engine_.disagreementVeto.isEmpty()) return false;
    const QString key = disagreementKey(prefix);
    if (key.isEmpty()) return false;
    const QDateTime now = Clock::shared().now();
    for (auto it = engine_.disagreementVeto.cbegin(); it != engine_.disagreementVeto.cend(); ++it) {
        if (fresh(it.value(), now) && (key.startsWith(it.key()) || it.key().startsWith(key))) return true;
    }
    return false;
}

}  // namespace murmelo
