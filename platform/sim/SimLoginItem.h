#pragma once
#include "platform/LoginItem.h"

namespace murmelo::sim {

// A login item whose registration the test decides: it may fail with an error or leave
// the item waiting for the user's approval.
class SimLoginItem : public LoginItem {
public:
    Status current = Status::notRegistered;
    std::optional<QString> registerError;
    std::optional<QString> unregisterError;
    bool needsApproval = false;
    int settingsOpened = 0;

    Status status() const override { return current; }
    std::optional<QString> registerItem() override {
        if (registerError) return registerError;
        current = needsApproval ? Status::requiresApproval : Status::enabled;
        return std::nullopt;
    }
    std::optional<QString> unregisterItem() override {
        if (unregisterError) return unregisterError;
        current = Status::notRegistered;
        return std::nullopt;
    }
    void openSystemSettingsLoginItems() override { ++settingsOpened; }
};

}  // namespace murmelo::sim
