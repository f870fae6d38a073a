#include "linux/UserKeys.h"

#include <algorithm>

namespace murmelo::linuxdesktop {

UserKeys& UserKeys::shared() {
    static UserKeys keys;
    return keys;
}

quint64 UserKeys::press(int xKeycode, bool modifier, bool erasable) {
    std::lock_guard lock(mutex_);
    held_.insert(xKeycode);
    ++seq_;
    if (modifier) {
        heldModifiers_.insert(xKeycode);
        return seq_;
    }
    landed_.push_back({seq_, erasable});
    while (landed_.size() > KEPT) landed_.pop_front();
    return seq_;
}

void UserKeys::release(int xKeycode) {
    std::lock_guard lock(mutex_);
    held_.erase(xKeycode);
    heldModifiers_.erase(xKeycode);
}

quint64 UserKeys::click() {
    std::lock_guard lock(mutex_);
    landed_.push_back({++seq_, false});
    while (landed_.size() > KEPT) landed_.pop_front();
    return seq_;
}

void UserKeys::clear() {
    std::lock_guard lock(mutex_);
    held_.clear();
    heldModifiers_.clear();
    landed_.clear();
}

bool UserKeys::isHeld(int xKeycode) const {
    std::lock_guard lock(mutex_);
    return held_.count(xKeycode) != 0;
}

bool UserKeys::modifierHeld() const {
    std::lock_guard lock(mutex_);
    return !heldModifiers_.empty();
}

bool UserKeys::anyHeld() const {
    std::lock_guard lock(mutex_);
    return !held_.empty();
}

std::vector<UserKeys::Landed> UserKeys::landedAfter(quint64 seq) const {
    std::lock_guard lock(mutex_);
    std::vector<Landed> out;
    for (const Landed& l : landed_)
        if (l.seq > seq) out.push_back(l);
    return out;
}

quint64 UserKeys::latest() const {
    std::lock_guard lock(mutex_);
    return seq_;
}

bool UserKeys::fixedAfter(quint64 seq) const {
    std::lock_guard lock(mutex_);
    return std::any_of(landed_.begin(), landed_.end(), [seq](const Landed& l) { return l.seq > seq && !l.erasable; });
}

}  // namespace murmelo::linuxdesktop
