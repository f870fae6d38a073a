#pragma once
#include "platform/LoginItem.h"

namespace murmelo {

// The login item as an XDG autostart entry that runs this executable.
class XdgLoginItem : public LoginItem {
public:
    static inline const char* const ENTRY_NAME = "com.local.murmelo.desktop";
    static QString entryPath();

    Status status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;
    void openSystemSettingsLoginItems() override {}  // XDG autostart needs no approval
};

}  // namespace murmelo
