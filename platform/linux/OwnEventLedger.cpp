#include "linux/OwnEventLedger.h"

namespace murmelo::linuxdesktop {

OwnEventLedger& OwnEventLedger::shared() {
    static OwnEventLedger ledger;
    return ledger;
}

void OwnEventLedger::expect(int xKeycode, bool press, qint64 userData, double uptime) {
    std::lock_guard lock(mutex_);
    // Nobody may be listening: keep the ledger from growing without bound.
    while (!entries_.empty() && uptime - entries_.front().at > MAX_AGE) entries_.pop_front();
    entries_.push_back({xKeycode, press, userData, uptime});
}

std::optional<qint64> OwnEventLedger::claim(int xKeycode, bool press, double uptime) {
    std::lock_guard lock(mutex_);
    while (!entries_.empty() && uptime - entries_.front().at > MAX_AGE) entries_.pop_front();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->keycode == xKeycode && it->press == press) {
            const qint64 data = it->userData;
            // Everything expected before it was lost on the way: forget it.
            entries_.erase(entries_.begin(), it + 1);
            return data;
        }
    }
    return std::nullopt;
}

void OwnEventLedger::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace murmelo::linuxdesktop
