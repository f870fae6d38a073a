#pragma once
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo {

// One keyboard input source (a keyboard layout the user has enabled). The identifier is
// opaque to callers. The two layouts the layout switcher works with carry the identifiers
// the core knows them by, "com.apple.keylayout.US" and "com.apple.keylayout.Russian"; the
// X11 backend gives them to the plain XKB layouts "us" and "ru" and names every other
// source "xkb:" + layout, with "(" + variant + ")" when the layout has one ("xkb:de",
// "xkb:us(intl)").
struct InputSource {
    QString id;
    QString name;  // display name ("English (US)", "Russian"); the id when there is none
    bool operator==(const InputSource&) const = default;
};

// The four modifier levels a layout is read at: none, Shift, Option (AltGr on a PC
// keyboard) and Option-Shift.
enum class KeyLevel { Base, Shift, Option, OptionShift };

// The keyboard input sources: which ones are enabled, which one is current, selecting one,
// what a key produces under a source, and notice of changes. Key codes are the core's
// virtual key codes (physical positions), as everywhere above the platform layer.
class InputSources {
public:
    InputSources() : serial_(nextSerial()) {}
    InputSources(const InputSources&) : serial_(nextSerial()) {}
    InputSources& operator=(const InputSources&) { return *this; }
    virtual ~InputSources() = default;

    // Tells instances apart over the life of the process, where an address may be reused:
    // what is cached about one backend is not taken for another.
    quint64 serial() const { return serial_; }

    // The enabled sources in the user's order; empty when they cannot be read.
    virtual std::vector<InputSource> enabledSources() const = 0;
    // The source the keyboard types with now.
    virtual std::optional<InputSource> currentSource() const = 0;
    // Makes an enabled source current. False when the id is not enabled or the system
    // refused; true means asked for, not yet seen: the change arrives through the handler.
    virtual bool select(const QString& sourceId) = 0;

    // What the key produces under the source at the level, independent of the current
    // source and of earlier keys; nothing for a key without output and for a dead key.
    virtual std::optional<QString> translate(const QString& sourceId, int keyCode, KeyLevel level) const = 0;
    // Whether the key is a dead key under the source, without or with Shift.
    virtual bool isDeadKey(const QString& sourceId, int keyCode, bool shift) const = 0;

    // Called on the main thread after the current source changed, whoever changed it.
    virtual void setSelectionHandler(std::function<void(const InputSource&)> handler) = 0;
    // Called on the main thread after the set or order of enabled sources changed.
    virtual void setEnabledSourcesHandler(std::function<void()> handler) = 0;

    static InputSources& shared();
    static void install(InputSources* sources);

private:
    static quint64 nextSerial();
    quint64 serial_;
};

}  // namespace murmelo
