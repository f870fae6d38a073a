#pragma once
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>
#include <vector>

typedef struct _XDisplay Display;
typedef struct _XkbDesc* XkbDescPtr;

namespace murmelo::linuxdesktop {

// A copy of the server's keyboard map (all groups) with the lookups the backends need:
// what a key gives in a group at a level, and which key gives a character. Plain data after
// load(); safe to read from any thread while nobody reloads it.
class XkbKeymap {
public:
    struct Place {
        int keycode = 0;
        int group = 0;
        int level = 0;  // 0 plain, 1 Shift, 2 level three, 3 level three + Shift
    };

    XkbKeymap() = default;
    ~XkbKeymap();
    XkbKeymap(const XkbKeymap&) = delete;
    XkbKeymap& operator=(const XkbKeymap&) = delete;

    // Reads the map of the core keyboard; false when the server has no XKB.
    bool load(Display* dpy);
    bool isLoaded() const { return desc_ != nullptr; }
    int minKeycode() const;
    int maxKeycode() const;

    // The keysym at key, group and level; 0 (NoSymbol) when there is none. A group beyond
    // the key's own groups wraps, as the server does.
    unsigned long keysym(int keycode, int group, int level) const;
    // The keysym the server produces for the key in the group with Shift and/or the level
    // three modifier (AltGr) held: modifiers the key's type ignores are ignored, so Shift
    // with Space still gives a space.
    unsigned long produced(int keycode, int group, bool shift, bool levelThree) const;
    // Whether a keycode has no symbols at all (free to borrow for a remap).
    bool isEmpty(int keycode) const;
    // Keys that produce the character, the given group first, then plain before Shift.
    std::vector<Place> find(char32_t c, int preferredGroup) const;

    // Counts the server's keyboard map changes that the key stream saw, so that a copy is read
    // again only when the map changed, not on every use.
    static std::atomic<unsigned long>& serverChanges();

    static bool isDeadKeysym(unsigned long keysym);
    static QString text(unsigned long keysym);
    static unsigned long keysymFor(char32_t c);

private:
    XkbDescPtr desc_ = nullptr;
};

// Layouts and variants of the X server's keyboard (its _XKB_RULES_NAMES), one per group.
QStringList xkbLayoutIds(Display* dpy);
// The display names of the groups ("English (US)", "Russian").
QStringList xkbGroupNames(Display* dpy);

}  // namespace murmelo::linuxdesktop
