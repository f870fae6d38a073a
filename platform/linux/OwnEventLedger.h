#pragma once
#include <QtGlobal>
#include <deque>
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

    static constexpr double MAX_AGE = 3.0;

private:
    struct Entry {
        int keycode;
        bool press;
        qint64 userData;
        double at;
    };
    std::mutex mutex_;
    std::deque<Entry> entries_;
};

}  // namespace murmelo::linuxdesktop
