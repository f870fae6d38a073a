#pragma once
#include "platform/Accessibility.h"
#include "sim/SimDesktop.h"

#include <functional>
#include <map>

namespace murmelo::sim {

// Accessibility over the simulated desktop: the focused element is the front
// application's focused field, and reads and writes act on that field as a cooperative,
// a slow or a stubborn application would.
class SimAccessibility : public Accessibility {
public:
    explicit SimAccessibility(SimDesktop& desktop) : desktop_(desktop) {}

    AXElementPtr focusedElement(AXError* error = nullptr) override;
    AXElementPtr applicationElement(qint64 pid) override;
    AXElementPtr focusedElementOf(const AXElement& application, AXError* error = nullptr) override;
    QVariant attribute(const AXElement& el, const QString& name, AXError* error = nullptr) override;
    AXError setAttribute(const AXElement& el, const QString& name, const QVariant& value) override;
    AXError isAttributeSettable(const AXElement& el, const QString& name, bool* settable) override;
    AXElementPtr elementAtPoint(const AXElement& application, QPointF point, AXError* error = nullptr) override;
    AXElementPtr parent(const AXElement& el, AXError* error = nullptr) override;
    std::optional<QRectF> boundsForRange(const AXElement& el, AXRange range, AXError* error = nullptr) override;
    std::optional<qint64> pid(const AXElement& el) override;
    AXError setMessagingTimeout(const AXElement& el, float seconds) override;
    void settle(double seconds) override;
    bool isProcessTrusted() override { return trusted; }
    bool reportsEmptyValueReliably(const AXElement& el) override;
    bool sameElement(const AXElement& a, const AXElement& b) override;
    AXElementPtr windowOf(const AXElement& application, WindowKind kind, AXError* error = nullptr) override;
    std::vector<AXElementPtr> children(const AXElement& el, AXError* error = nullptr) override;

    // An element for a given field (as if the focus were on it).
    AXElementPtr elementFor(const std::shared_ptr<SimField>& field);
    // The messaging time-out last put on an element; 0 when none was.
    static float messagingTimeout(const AXElement& el);

    // What tests look at: attribute reads and writes made, and the waits asked for.
    int reads = 0;
    int writes = 0;
    int settles = 0;
    // Whether the desktop lets this process use accessibility.
    bool trusted = true;
    // Called with a field's read delay on each of its reads (tests move a clock with it).
    std::function<void(double)> onBlockingRead;

private:
    struct Pending {
        QString value;
        qsizetype selectionStart = 0;
        int readsLeft = 0;
    };
    std::shared_ptr<SimField> fieldOf(const AXElement& el, AXError* error);
    AXElementPtr treeElement(const std::shared_ptr<SimField>& field, qint64 pid);
    void apply(SimField& field, const QString& newValue, qsizetype caret);

    SimDesktop& desktop_;
    std::map<const SimField*, Pending> pending_;
};

}  // namespace murmelo::sim
