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
    entries_.push_back({xKeycode, press, userData, uptime, ++expected_});
}

std::optional<qint64> OwnEventLedger::claim(int xKeycode, bool press, double uptime) {
    std::optional<qint64> data;
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        while (!entries_.empty() && uptime - entries_.front().at > MAX_AGE) entries_.pop_front();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->keycode == xKeycode && it->press == press) {
                data = it->userData;
                // Everything expected before it was lost on the way: forget it.
                entries_.erase(entries_.begin(), it + 1);
                listener = claimListener_;
                break;
            }
        }
    }
    if (listener) listener();
    return data;
}

quint64 OwnEventLedger::lastExpected() const {
    std::lock_guard lock(mutex_);
    return expected_;
}

bool OwnEventLedger::landed(quint64 upTo, double uptime) {
    std::lock_guard lock(mutex_);
    while (!entries_.empty() && uptime - entries_.front().at > MAX_AGE) entries_.pop_front();
    return entries_.empty() || entries_.front().number > upTo;
}

void OwnEventLedger::setClaimListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    claimListener_ = std::move(listener);
}

void OwnEventLedger::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    for (auto& [listener, locks] : groupLocks_) locks.clear();
    borrowedFrom_ = -1;
}

int OwnEventLedger::addGroupListener() {
    std::lock_guard lock(mutex_);
    const int id = nextListener_++;
    groupLocks_[id];
    return id;
}

void OwnEventLedger::removeGroupListener(int listener) {
    std::lock_guard lock(mutex_);
    groupLocks_.erase(listener);
}

void OwnEventLedger::expectGroupLock(int group, double uptime) {
    std::lock_guard lock(mutex_);
    for (auto& [listener, locks] : groupLocks_) {
        while (!locks.empty() && uptime - locks.front().second > MAX_AGE) locks.pop_front();
        locks.push_back({group, uptime});
    }
}

bool OwnEventLedger::claimGroupLock(int listener, int group, double uptime) {
    std::lock_guard lock(mutex_);
    const auto found = groupLocks_.find(listener);
    if (found == groupLocks_.end()) return false;
    auto& locks = found->second;
    while (!locks.empty() && uptime - locks.front().second > MAX_AGE) locks.pop_front();
    for (auto it = locks.begin(); it != locks.end(); ++it) {
        if (it->first != group) continue;
        locks.erase(locks.begin(), it + 1);
        return true;
    }
    return false;
}

void OwnEventLedger::setBorrowedFrom(int group) {
    std::lock_guard lock(mutex_);
    borrowedFrom_ = group;
}

int OwnEventLedger::borrowedFrom() const {
    std::lock_guard lock(mutex_);
    return borrowedFrom_;
}

}  // namespace murmelo::linuxdesktop
