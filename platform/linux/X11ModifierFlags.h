#pragma once
#include "platform/ModifierFlags.h"

#include <mutex>

typedef struct _XDisplay Display;

namespace murmelo::linuxdesktop {

// The modifier keys the X server holds down now (XQueryKeymap), whatever device pressed
// them, as core flags: right Ctrl held reads as Command. Own X connection.
class X11ModifierFlags : public ModifierFlags {
public:
    X11ModifierFlags();
    ~X11ModifierFlags() override;
    bool isConnected() const { return display_ != nullptr; }
    quint64 current() const override;

    // The flags of a key map as XQueryKeymap returns it (32 bytes, bit per X key code).
    static quint64 flagsFromKeymap(const char keys[32]);

private:
    Display* display_ = nullptr;
    mutable std::mutex mutex_;
};

}  // namespace murmelo::linuxdesktop
