#pragma once
#include "platform/Accessibility.h"

#include <functional>
#include <memory>
#include <vector>

namespace murmelo::linuxdesktop {

// Accessibility text through AT-SPI (libatspi). Every AT-SPI call runs on the one AT-SPI
// thread of the process, with its own GLib main context; callers wait for the answer at
// most CALL_TIMEOUT seconds, and D-Bus calls time out after the messaging time-out (short
// by default), so a hung application cannot hold the main thread. A call whose caller gave
// up never changes the other application afterwards: one still queued is dropped, one
// running refuses to start its write, and a write already sent is waited for up to
// CHANGE_GRACE seconds more so that its outcome is known. The focused element is tracked from
// "object:state-changed:focused" events, with a bounded search of the desktop's
// applications before the first event. AT-SPI offsets are characters; they are converted
// to and from UTF-16 code units here.
class AtspiAccessibility : public Accessibility {
public:
    AtspiAccessibility();
    ~AtspiAccessibility() override;

    // The accessibility bus answered and the focus listener is registered.
    bool isConnected() const;
    // Connected, and the session's accessibility switch (org.a11y.Status IsEnabled) is on
    // where the session has one.
    bool isProcessTrusted() override;
    // An element that carries the text interface reads its own text: empty is empty.
    bool reportsEmptyValueReliably(const AXElement& el) override;
    // The bus hands out one object per accessible, so the same field is the same object.
    bool sameElement(const AXElement& a, const AXElement& b) override;
    // The sockets of the AT-SPI connections, for checks that no other loop watches them.
    std::vector<int> connectionSockets();

    AXElementPtr focusedElement(AXError* error = nullptr) override;
    AXElementPtr applicationElement(qint64 pid) override;
    QVariant attribute(const AXElement& el, const QString& name, AXError* error = nullptr) override;
    AXError setAttribute(const AXElement& el, const QString& name, const QVariant& value) override;
    AXError isAttributeSettable(const AXElement& el, const QString& name, bool* settable) override;
    // Down from the application's windows through the component interface's hit test.
    AXElementPtr elementAtPoint(const AXElement& application, QPointF point, AXError* error = nullptr) override;
    AXElementPtr parent(const AXElement& el, AXError* error = nullptr) override;
    std::optional<QRectF> boundsForRange(const AXElement& el, AXRange range, AXError* error = nullptr) override;
    std::optional<qint64> pid(const AXElement& el) override;
    AXError setMessagingTimeout(const AXElement& el, float seconds) override;
    void settle(double seconds) override;
    // The application's frames and dialogs: the focused one is the one AT-SPI calls active,
    // the main one the first.
    AXElementPtr windowOf(const AXElement& application, WindowKind kind, AXError* error = nullptr) override;
    // At most MAX_CHILDREN of them: no reader of a window walks further.
    std::vector<AXElementPtr> children(const AXElement& el, AXError* error = nullptr) override;

    static constexpr int MAX_CHILDREN = 6000;
    static constexpr double CALL_TIMEOUT = 1.5;
    static constexpr int DBUS_TIMEOUT_MS = 800;
    // A write under way may take the longest D-Bus time-out, which is longer for an
    // application that has only just appeared.
    static constexpr double CHANGE_GRACE = 2 * DBUS_TIMEOUT_MS / 1000.0 + 0.2;
    static constexpr double START_TIMEOUT = 5.0;

    struct Connection;

private:
    Connection& connection_;
};

}  // namespace murmelo::linuxdesktop
