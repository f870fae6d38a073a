#pragma once
#include <functional>

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace murmelo::linuxdesktop {

// What the key path needs of the desktop besides the key itself (the layout group, the
// front window and its application) is kept from events, never asked of the server per
// key. Those caches listen on X connections of their own, which the server serves apart
// from the key stream's; the key stream watches the same changes on its connection, and a
// key that follows one makes the caches catch up with their connections first, so that
// every key is judged in the state it was typed in.
namespace DesktopContext {

// Selects on a connection what tells of a change of the front window: the root's
// properties (the window manager's _NET_ACTIVE_WINDOW and its check window), new top-level
// windows, and the focus moving between top-level windows (where no window manager keeps
// the active window). Asks the server once for the present top-level windows.
void watchFrontWindow(Display* dpy);
// Handles one event of that watch (a new top-level window gets its focus watched); true
// when the front window may have changed.
bool frontWindowEvent(Display* dpy, const XEvent& event);

// A cache's catch-up: brings it level with its connection. Main thread only.
int addCatchUp(std::function<void()> fn);
void removeCatchUp(int id);
// Runs every cache's catch-up; the key stream calls it before a key that followed a change.
void catchUp();

}  // namespace DesktopContext
}  // namespace murmelo::linuxdesktop
