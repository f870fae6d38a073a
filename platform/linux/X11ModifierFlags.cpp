#include "linux/X11ModifierFlags.h"

#include "linux/KeyTable.h"

#include <X11/Xlib.h>

namespace murmelo::linuxdesktop {

X11ModifierFlags::X11ModifierFlags() : display_(XOpenDisplay(nullptr)) {}

X11ModifierFlags::~X11ModifierFlags() {
    if (display_) XCloseDisplay(display_);
}

quint64 X11ModifierFlags::flagsFromKeymap(const char keys[32]) {
    quint64 flags = 0;
    for (int code = 8; code < 256; ++code) {
        if (!(keys[code / 8] & (1 << (code % 8)))) continue;
        if (const auto vk = KeyTable::virtualKey(code)) flags |= KeyTable::modifierFlag(*vk);
    }
    return flags;
}

quint64 X11ModifierFlags::current() const {
    std::lock_guard lock(mutex_);
    if (!display_) return 0;
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    return flagsFromKeymap(keys);
}

}  // namespace murmelo::linuxdesktop
