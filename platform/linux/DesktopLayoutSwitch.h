#pragma once
#include <QString>
#include <functional>
#include <memory>

namespace murmelo::linuxdesktop {

// Who owns the keyboard layouts of the session. A desktop with its own switcher keeps its
// own idea of the current layout and may lock its group back over ours, so a selection goes
// through it; without one, locking the XKB group is the switch.
enum class LayoutOwner { Xkb, Fcitx5, GnomeShell, KdeKeyboard, IBus };
QString layoutOwnerName(LayoutOwner owner);

// The cheap questions that tell the owner apart: is a name owned on the session bus, and
// does the IBus daemon answer on its own bus.
struct LayoutOwnerProbe {
    std::function<bool(const QString& busName)> sessionHasName;
    std::function<bool()> ibusRuns;
};
// fcitx5 first (when it runs it drives the layouts whatever the desktop), then GNOME Shell
// (which drives IBus itself), KDE's keyboard service, a bare IBus, and plain XKB.
LayoutOwner chooseLayoutOwner(const LayoutOwnerProbe& probe);
// The probe of the running session: its session bus and the IBus daemon's address file.
LayoutOwnerProbe sessionProbe();

// The IBus daemon's bus address: $IBUS_ADDRESS, else the address file the daemon writes for
// this display; empty when there is none.
QString ibusAddress();
// The IBus engine and the fcitx5 input method of an XKB layout id ("xkb:ru",
// "xkb:us(intl)"); empty when the layout has none we know.
QString ibusEngineFor(const QString& xkbId);
QString fcitxInputMethodFor(const QString& xkbId);

// Asks the owner to make a layout current, by its XKB group and layout id. Asynchronous:
// the change arrives as the group changes. When the owner refuses or does not answer, the
// fallback (locking the group ourselves) runs, and the first refusal is logged.
class LayoutSwitch {
public:
    virtual ~LayoutSwitch() = default;
    virtual LayoutOwner owner() const = 0;
    // False when the owner cannot be asked for this layout at all; the caller locks the group.
    virtual bool select(int group, const QString& xkbId, std::function<void()> fallback) = 0;
};

// The switch of an owner that is not plain XKB; none for Xkb.
std::unique_ptr<LayoutSwitch> makeLayoutSwitch(LayoutOwner owner);

}  // namespace murmelo::linuxdesktop
