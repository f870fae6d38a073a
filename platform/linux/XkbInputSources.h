#pragma once
#include "linux/DesktopLayoutSwitch.h"
#include "linux/XkbKeymap.h"
#include "platform/InputSources.h"

#include <QObject>
#include <atomic>
#include <mutex>

class QSocketNotifier;

namespace murmelo::linuxdesktop {

// Input sources as XKB groups: one group per configured layout, selected by locking the
// group, changes seen from XkbStateNotify (group) and new keyboard or names notifications
// (the enabled set). The current group is kept from those notifications (caught up before
// a key that followed a change, see DesktopContext): asking for it costs no round trip. Lives on the main thread with its own X connection; translate() and
// isDeadKey() read a copied key map and may be called from any thread.
// Desktops with their own switcher (GNOME, IBus) may override a locked group. The groups
// our own typing borrows to reach another layout's characters are kept from the handler and
// from currentSource() (see OwnEventLedger).
class XkbInputSources : public QObject, public InputSources {
public:
    // displayName empty: $DISPLAY.
    explicit XkbInputSources(const QString& displayName = {});
    ~XkbInputSources() override;

    bool isConnected() const { return dpy_ != nullptr; }

    // Selections go through the desktop that owns the layouts (none: we lock the group).
    void setLayoutSwitch(std::unique_ptr<LayoutSwitch> layoutSwitch) { switch_ = std::move(layoutSwitch); }

    std::vector<InputSource> enabledSources() const override;
    std::optional<InputSource> currentSource() const override;
    bool select(const QString& sourceId) override;
    std::optional<QString> translate(const QString& sourceId, int keyCode, KeyLevel level) const override;
    bool isDeadKey(const QString& sourceId, int keyCode, bool shift) const override;
    void setSelectionHandler(std::function<void(const InputSource&)> handler) override;
    void setEnabledSourcesHandler(std::function<void()> handler) override;

private:
    void reload();
    void readGroup();
    bool lockGroup(int group);
    int groupOf(const QString& id) const;
    void drain();
    void scheduleDrain() const;

    Display* dpy_ = nullptr;
    int xkbEventBase_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    mutable std::mutex mutex_;  // guards sources_ and keymap_ for readers on other threads
    std::vector<InputSource> sources_;
    QStringList xkbIds_;  // per group, as the server's rules name the layout
    std::unique_ptr<LayoutSwitch> switch_;
    XkbKeymap keymap_;
    int lastGroup_ = -1;  // the group listeners last heard of
    std::atomic<int> serverGroup_{0};  // the server's group, our own borrowed ones included
    int catchUp_ = 0;
    int ledgerListener_ = 0;  // our claim on the poster's own group locks
    mutable bool drainScheduled_ = false;
    std::function<void(const InputSource&)> onSelect_;
    std::function<void()> onEnabled_;
};

}  // namespace murmelo::linuxdesktop
