#pragma once
#include <QString>

typedef struct _XDisplay Display;

namespace murmelo::linuxdesktop {

// Catches the X errors of the requests one display makes while the trap is set, so that a
// request that can fail (a key another program has grabbed, a window that vanished during
// a query) is noticed and reported where it was made. Errors of requests outside any trap
// go to the handler that was installed before, as if no trap existed: nothing is swallowed
// wholesale. Traps may be set from several threads, each on its own display.
class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Waits until the server has handled the trapped requests and ends the trap. The code
    // of the first error among them (BadAccess, BadWindow, ...), 0 when none failed.
    int finish();
    // The first error for a log line ("BadWindow (invalid Window parameter), request 20"),
    // empty when none.
    QString describe() const;

private:
    Display* display_;
    bool finished_ = false;
    int code_ = 0;
    int request_ = 0;
    int slot_ = -1;
};

}  // namespace murmelo::linuxdesktop
