#include "linux/XErrorTrap.h"

#include <X11/Xlib.h>

#include <mutex>
#include <vector>

namespace murmelo::linuxdesktop {
namespace {

struct Trap {
    Display* display = nullptr;
    unsigned long firstSerial = 0;
    int code = 0;
    int request = 0;
    bool active = false;
};

std::mutex trapsMutex;
std::vector<Trap> traps;           // slots; reused once inactive
XErrorHandler previous = nullptr;  // what was installed before ours

int trapHandler(Display* display, XErrorEvent* error) {
    {
        std::lock_guard lock(trapsMutex);
        for (Trap& t : traps) {
            if (!t.active || t.display != display || error->serial < t.firstSerial) continue;
            if (!t.code) {
                t.code = error->error_code;
                t.request = error->request_code;
            }
            return 0;
        }
    }
    return previous ? previous(display, error) : 0;
}

// Another part of the process (the toolkit) may install its own handler after ours: ours
// goes back on top, keeping the newcomer as the one untrapped errors go to. Called without
// our lock: Xlib takes its own.
void ensureInstalled() {
    const XErrorHandler before = XSetErrorHandler(trapHandler);
    std::lock_guard lock(trapsMutex);
    if (before != trapHandler) previous = before;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display) {
    if (!display_) {
        finished_ = true;
        return;
    }
    ensureInstalled();
    std::lock_guard lock(trapsMutex);
    for (size_t i = 0; i < traps.size() && slot_ < 0; ++i)
        if (!traps[i].active) slot_ = static_cast<int>(i);
    if (slot_ < 0) {
        traps.emplace_back();
        slot_ = static_cast<int>(traps.size() - 1);
    }
    traps[slot_] = Trap{display_, NextRequest(display_), 0, 0, true};
}

XErrorTrap::~XErrorTrap() { finish(); }

int XErrorTrap::finish() {
    if (finished_) return code_;
    finished_ = true;
    XSync(display_, False);
    std::lock_guard lock(trapsMutex);
    code_ = traps[slot_].code;
    request_ = traps[slot_].request;
    traps[slot_].active = false;
    return code_;
}

QString XErrorTrap::describe() const {
    if (!code_) return {};
    char text[128] = {};
    XGetErrorText(display_, code_, text, sizeof text);
    return QStringLiteral("%1, request %2").arg(QString::fromLocal8Bit(text)).arg(request_);
}

}  // namespace murmelo::linuxdesktop
