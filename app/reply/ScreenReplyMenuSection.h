#pragma once
#include "reply/WindowOCR.h"
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
    std::function<bool()> windowOCRHasPermission = [] { return WindowOCR::hasPermission(); };
    std::function<bool()> requestWindowOCRPermission = [] { return WindowOCR::requestPermission(); };
    std::function<void()> openScreenCaptureSettings = [] {};
};

}  // namespace murmelo
