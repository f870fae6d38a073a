#pragma once
#include "platform/Accessibility.h"

#include <functional>
#include <memory>

namespace murmelo::linuxdesktop {

// Accessibility text through AT-SPI (libatspi). Every AT-SPI call runs on a thread of its
// own with its own GLib main context; callers wait for the answer at most CALL_TIMEOUT
// seconds, and D-Bus calls time out after the messaging time-out (short by default), so a
// hung application cannot hold the main thread. The focused element is tracked from
// "object:state-changed:focused" events, with a bounded search of the desktop's
// applications before the first event. AT-SPI offsets are characters; they are converted
// to and from UTF-16 code units here.
class AtspiAccessibility : public Accessibility {
public:
    AtspiAccessibility();
    ~AtspiAccessibility() override;

    // The accessibility bus answered and the focus listener is registered.
    bool isConnected() const;

    AXElementPtr focusedElement(AXError* error = nullptr) override;
    AXElementPtr applicationElement(qint64 pid) override;
    QVariant attribute(const AXElement& el, const QString& name, AXError* error = nullptr) override;
    AXError setAttribute(const AXElement& el, const QString& name, const QVariant& value) override;
    AXError isAttributeSettable(const AXElement& el, const QString& name, bool* settable) override;
    std::optional<QRectF> boundsForRange(const AXElement& el, AXRange range, AXError* error = nullptr) override;
    std::optional<qint64> pid(const AXElement& el) override;
    AXError setMessagingTimeout(const AXElement& el, float seconds) override;
    void settle(double seconds) override;

    static constexpr double CALL_TIMEOUT = 1.5;
    static constexpr int DBUS_TIMEOUT_MS = 800;

    struct Worker;

private:
    std::shared_ptr<Worker> worker_;
};

}  // namespace murmelo::linuxdesktop
