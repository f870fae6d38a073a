#pragma once
#include "platform/SecureEventInput.h"

namespace murmelo::sim {

// Secure keyboard entry switched by the test.
class SimSecureEventInput : public SecureEventInput {
public:
    bool enabled = false;
    std::optional<QString> registryText;
    int registryReads = 0;

    bool isEnabled() override { return enabled; }
    std::optional<QString> holderRegistryText() override {
        ++registryReads;
        return registryText;
    }
};

}  // namespace murmelo::sim
