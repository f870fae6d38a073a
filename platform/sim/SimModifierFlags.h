#pragma once
#include "platform/ModifierFlags.h"

namespace murmelo::sim {

// The session's modifier state, set by the test (or by the simulated tap as modifier
// changes pass through it).
class SimModifierFlags : public ModifierFlags {
public:
    quint64 flags = 0;
    mutable int reads = 0;
    quint64 current() const override {
        ++reads;
        return flags;
    }
};

}  // namespace murmelo::sim
