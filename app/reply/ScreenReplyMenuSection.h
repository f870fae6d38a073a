#pragma once
#include "ui/StatusMenu.h"

#include <functional>

namespace murmelo {

// The switch for window capture in screen reply. Switching it on without the capture
// permission asks for the permission instead of switching.
class ScreenReplyMenuSection : public StatusMenuSection {
public:
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void refresh(StatusMenu& menu) override;

    static bool screenReplyOCREnabled();
    std::function<bool()> windowOCRHasPermission = [] { return true; };
    std::function<bool()> requestWindowOCRPermission = [this] { return windowOCRHasPermission(); };
    std::function<void()> openScreenCaptureSettings = [] {};
};

}  // namespace murmelo
