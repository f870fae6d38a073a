#pragma once
#include <QRectF>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace murmelo {

// A running application as the desktop shows it. On Linux the bundle identifier is an
// opaque application id: the desktop-file id or the lower-cased window class.
struct AppIdentity {
    QString bundleIdentifier;
    QString localizedName;
    qint64 pid = 0;
    bool operator==(const AppIdentity&) const = default;
};

// A top-level window of an application as the window list shows it.
struct WindowInfo {
    quint64 id = 0;
    QString title;
    // The window's own area without decorations, in window-system coordinates.
    QRectF frame;
    // An ordinary application window or dialog (not a dock, menu, tooltip or desktop).
    bool normal = true;
    // Shown on the screen now.
    bool mapped = true;
    bool operator==(const WindowInfo&) const = default;
};

// The front application and its changes.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual std::optional<AppIdentity> frontmostApplication() const = 0;
    virtual bool isRunning(const AppIdentity& app) const = 0;
    // The applications that show an ordinary window, each once, in the window list's order;
    // background processes without a window are not among them.
    virtual std::vector<AppIdentity> runningApplications() const = 0;
    // The running application with that process id; a backend that cannot look it up
    // knows only the front one.
    virtual std::optional<AppIdentity> runningApplication(qint64 pid) const {
        auto front = frontmostApplication();
        if (front && front->pid == pid) return front;
        return std::nullopt;
    }
    // Brings the application to the front; false when it is gone.
    virtual bool activate(const AppIdentity& app) = 0;
    // Called on the main thread whenever another application comes to the front.
    virtual void setActivationHandler(std::function<void(const AppIdentity&)> handler) = 0;
    // Further listeners of the same activations, told after the handler; the id removes one.
    int addActivationObserver(std::function<void(const AppIdentity&)> observer);
    void removeActivationObserver(int id);
    // The frames (with their decorations) of the ordinary mapped application windows, front
    // to back, in window-system coordinates: origin at the first screen's top-left, y down.
    // Safe to call from any thread. A backend that knows no windows gives none.
    virtual std::vector<QRectF> onScreenWindowFrames() const { return {}; }
    // The top-level windows whose process is pid, in the window manager's list order. Safe to
    // call from any thread. A backend that knows no windows gives none.
    virtual std::vector<WindowInfo> windowsOf(qint64 pid) const {
        (void)pid;
        return {};
    }

    static Workspace& shared();
    static void install(Workspace* workspace);

protected:
    bool hasActivationObservers() const { return !observers_.empty(); }
    void notifyActivationObservers(const AppIdentity& app);

private:
    std::map<int, std::function<void(const AppIdentity&)>> observers_;
    int nextObserver_ = 1;
};

}  // namespace murmelo
