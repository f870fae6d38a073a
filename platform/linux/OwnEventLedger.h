#pragma once
#include <QtGlobal>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace murmelo::linuxdesktop {

// What tells our own synthetic keys from anyone else's. X11 carries no user data on key
// events and every client's XTest events come from the same XTest device, so the poster
// writes down each key it sends (X key code, press or release, the caller's user data) and
// the event source, seeing an event from the XTest device, takes the oldest matching entry.
// An XTest event with no entry was posted by another program: it counts as the user's.
// Entries older than a few seconds are dropped, so a lost event cannot mark later ones.
class OwnEventLedger {
public:
    static OwnEventLedger& shared();

    void expect(int xKeycode, bool press, qint64 userData, double uptime);
    // The user data of our own event, or nothing when the event was not ours.
    std::optional<qint64> claim(int xKeycode, bool press, double uptime);
    void clear();
    // The number of the latest key expected (they count up from 1; 0: none yet), and whether
    // every key up to that number has come back or aged out: our keys up to it have landed.
    quint64 lastExpected() const;
    bool landed(quint64 upTo, double uptime);
    // Called after each key claimed, on the thread of the event source.
    void setClaimListener(std::function<void()> listener);

    // Group locks the poster makes to type another layout's characters, and its lock back
    // to the user's group afterwards: no choice of the user's, so input-source listeners
    // must not hear of them. Each listener of group changes registers and claims the locks
    // made while it listened (a lock nobody saw must not hide a later change of the user's);
    // same ageing as the keys.
    int addGroupListener();
    void removeGroupListener(int listener);
    void expectGroupLock(int group, double uptime);
    // Whether the listener's change to this locked group was ours; takes the entry.
    bool claimGroupLock(int listener, int group, double uptime);
    // While the poster types on a borrowed group: the user's group, which stays the current
    // source for whoever asks; -1 when nothing is borrowed.
    void setBorrowedFrom(int group);
    int borrowedFrom() const;

    static constexpr double MAX_AGE = 3.0;

private:
    struct Entry {
        int keycode;
        bool press;
        qint64 userData;
        double at;
        quint64 number;
    };
    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
    std::map<int, std::deque<std::pair<int, double>>> groupLocks_;  // per listener: group, when
    int nextListener_ = 1;
    quint64 expected_ = 0;
    std::function<void()> claimListener_;
    int borrowedFrom_ = -1;
};

}  // namespace murmelo::linuxdesktop
