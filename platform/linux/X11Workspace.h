#pragma once
#include "platform/Workspace.h"

#include <QObject>
#include <QStringList>
#include <mutex>
#include <vector>

class QSocketNotifier;
typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace murmelo::linuxdesktop {

// The front application from the window manager's _NET_ACTIVE_WINDOW; without a window
// manager that keeps it, from the window holding the input focus. The application id is
// the window's desktop-file id (_GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE) or its
// lower-cased WM_CLASS class; the process is _NET_WM_PID. Main thread, own X connection.
// The front window, its identity and its names are kept from events (the root's
// properties, the focus moving between top-level windows, the front window's own
// properties; see DesktopContext) and read again only when those change: asking for them
// costs no round trip.
class X11Workspace : public QObject, public Workspace {
public:
    explicit X11Workspace(const QString& displayName = {});
    ~X11Workspace() override;

    bool isConnected() const { return dpy_ != nullptr; }

    std::optional<AppIdentity> frontmostApplication() const override;
    bool isRunning(const AppIdentity& app) const override;
    // The applications of the client windows that name one, first window first.
    std::vector<AppIdentity> runningApplications() const override;
    // The process exists and has not ended: a zombie waiting for its parent counts as gone.
    static bool processIsAlive(qint64 pid);
    // The application of a window whose _NET_WM_PID is that process (a mapped window
    // preferred); a live process without a window is known by its command name only, with
    // no application id; nothing when the process is gone.
    std::optional<AppIdentity> runningApplication(qint64 pid) const override;
    bool activate(const AppIdentity& app) override;
    void setActivationHandler(std::function<void(const AppIdentity&)> handler) override;

    // The identity of one top-level window; nothing when it names no application. Asks the
    // server unless it is the front window.
    std::optional<AppIdentity> identityOf(unsigned long window) const;
    // The top-level window in front (active or focused), 0 when none.
    unsigned long frontWindow() const;
    // The names the front window goes by, lower-cased: its application id and its window
    // class and instance names. Per-application key exceptions match on any of them.
    QStringList frontApplicationIds() const;
    // The applications' top-level windows: the window manager's client list, else the
    // root's children (or, under frames, their children) that carry WM_CLASS.
    std::vector<unsigned long> clientWindows() const;
    // From the window manager's stacking list (_NET_CLIENT_LIST_STACKING), else the root's
    // children that carry WM_CLASS, topmost first: the viewable ones that are neither desktop
    // nor dock, each with its frame (_NET_FRAME_EXTENTS). Reads on a connection of its own,
    // so that the background refresh of the window list does not share the main thread's.
    std::vector<QRectF> onScreenWindowFrames() const override;
    // From the window manager's client list (else the root's children that carry WM_CLASS),
    // on the same connection as the frames. Frames are the windows' own areas; the title is
    // _NET_WM_NAME, else WM_NAME; ordinary means no type, or the normal or dialog type.
    std::vector<WindowInfo> windowsOf(qint64 pid) const override;

private:
    Display* framesDisplay() const;
    void drain();
    void scheduleDrain() const;
    void check();
    void refresh();
    unsigned long clientWindow(unsigned long window) const;
    bool queryManagerKeepsActiveWindow() const;
    unsigned long queryFrontWindow() const;
    std::optional<AppIdentity> queryIdentity(unsigned long window) const;
    bool frontPropertyEvent(const XEvent& ev) const;

    Display* dpy_ = nullptr;
    unsigned long root_ = 0;
    QByteArray displayName_;
    mutable std::mutex framesLock_;
    mutable Display* framesDpy_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    mutable bool drainScheduled_ = false;
    int catchUp_ = 0;
    // Kept from events.
    bool managerKeeps_ = false;
    unsigned long front_ = 0;
    std::optional<AppIdentity> frontIdentity_;
    QStringList frontIds_;
    std::optional<AppIdentity> last_;  // the application the handler last heard of
    std::function<void(const AppIdentity&)> onActivate_;
};

}  // namespace murmelo::linuxdesktop
