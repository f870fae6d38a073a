#include "platform/Accessibility.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed no element can be reached: every call answers as the
// accessibility interface does when it is switched off.
class NoAccessibility : public Accessibility {
public:
    AXElementPtr focusedElement(AXError* error) override {
        if (error) *error = AXError::apiDisabled;
        return nullptr;
    }
    AXElementPtr applicationElement(qint64) override { return nullptr; }
    QVariant attribute(const AXElement&, const QString&, AXError* error) override {
        if (error) *error = AXError::apiDisabled;
        return {};
    }
    AXError setAttribute(const AXElement&, const QString&, const QVariant&) override { return AXError::apiDisabled; }
    AXError isAttributeSettable(const AXElement&, const QString&, bool* settable) override {
        if (settable) *settable = false;
        return AXError::apiDisabled;
    }
    AXElementPtr elementAtPoint(const AXElement&, QPointF, AXError* error) override {
        if (error) *error = AXError::apiDisabled;
        return nullptr;
    }
    AXElementPtr parent(const AXElement&, AXError* error) override {
        if (error) *error = AXError::apiDisabled;
        return nullptr;
    }
    std::optional<QRectF> boundsForRange(const AXElement&, AXRange, AXError* error) override {
        if (error) *error = AXError::apiDisabled;
        return std::nullopt;
    }
    std::optional<qint64> pid(const AXElement&) override { return std::nullopt; }
    AXError setMessagingTimeout(const AXElement&, float) override { return AXError::apiDisabled; }
    void settle(double) override {}
};

}  // namespace

AXElementPtr Accessibility::windowOf(const AXElement&, WindowKind, AXError* error) {
    if (error) *error = AXError::attributeUnsupported;
    return nullptr;
}

std::vector<AXElementPtr> Accessibility::children(const AXElement&, AXError* error) {
    if (error) *error = AXError::attributeUnsupported;
    return {};
}

AXElementPtr Accessibility::focusedElementOf(const AXElement& application, AXError* error) {
    AXError e = AXError::success;
    AXElementPtr focus = focusedElement(&e);
    if (!focus) {
        // A desktop with no focused element is an application that names none.
        if (error) *error = e == AXError::noValue ? AXError::success : e;
        return nullptr;
    }
    if (error) *error = AXError::success;
    const std::optional<qint64> owner = pid(application);
    if (!owner || pid(*focus) != owner) return nullptr;
    return focus;
}

Accessibility& Accessibility::shared() {
    if (auto* a = installedService<Accessibility>()) return *a;
    static NoAccessibility none;
    return none;
}

void Accessibility::install(Accessibility* accessibility) { installService<Accessibility>(accessibility); }

}  // namespace murmelo
