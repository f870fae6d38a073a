#pragma once
#include <QtGlobal>

namespace murmelo {

// The modifier keys held in the whole session right now, as core event flags, read from
// the system rather than from the event stream: for a watchdog that must notice a release
// whose event never came.
class ModifierFlags {
public:
    virtual ~ModifierFlags() = default;
    virtual quint64 current() const = 0;

    static ModifierFlags& shared();
    static void install(ModifierFlags* flags);
};

}  // namespace murmelo
