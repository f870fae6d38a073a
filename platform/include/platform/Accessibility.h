#pragma once
#include <QMetaType>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

// The attribute and role names the callers and every backend share.
namespace AXNames {
inline const QString role = QStringLiteral("AXRole");
inline const QString subrole = QStringLiteral("AXSubrole");
inline const QString editable = QStringLiteral("AXIsEditable");
inline const QString value = QStringLiteral("AXValue");
inline const QString selectedRange = QStringLiteral("AXSelectedTextRange");
inline const QString selectedText = QStringLiteral("AXSelectedText");
inline const QString placeholder = QStringLiteral("AXPlaceholderValue");
inline const QString manualAccessibility = QStringLiteral("AXManualAccessibility");
inline const QString secureTextFieldRole = QStringLiteral("AXSecureTextField");
inline const QString title = QStringLiteral("AXTitle");
inline const QString description = QStringLiteral("AXDescription");
}  // namespace AXNames

// Error numbers of the accessibility interface; write outcomes carry them ("rejected--25204").
enum class AXError : int {
    success = 0,
    failure = -25200,
    illegalArgument = -25201,
    invalidUIElement = -25202,
    cannotComplete = -25204,
    attributeUnsupported = -25205,
    notImplemented = -25208,
    apiDisabled = -25211,
    noValue = -25212,
    parameterizedAttributeUnsupported = -25213,
};

// A text range in UTF-16 code units.
struct AXRange {
    qsizetype location = 0;
    qsizetype length = 0;
    bool operator==(const AXRange&) const = default;
};

// An element of another application's accessibility tree (a text field, or an
// application as a whole). Opaque: only the backend that made it can read it.
class AXElement {
public:
    virtual ~AXElement() = default;
};
using AXElementPtr = std::shared_ptr<AXElement>;

// The accessibility tree of the desktop, reduced to what text access needs. Attributes are
// named as the callers know them ("AXRole", "AXSubrole", "AXIsEditable", "AXValue",
// "AXSelectedTextRange", "AXSelectedText", "AXPlaceholderValue", "AXManualAccessibility");
// values travel in a QVariant holding QString, bool or AXRange. Positions are UTF-16 code
// units; a backend whose toolkit counts code points converts at its edge.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // The element that has the keyboard focus anywhere on the desktop.
    virtual AXElementPtr focusedElement(AXError* error = nullptr) = 0;
    // The element standing for a whole application.
    virtual AXElementPtr applicationElement(qint64 pid) = 0;
    // The element with the keyboard focus inside that application ("AXFocusedUIElement"):
    // none with success when the application names none. A backend that cannot ask one
    // application answers the desktop's focus when the application owns it.
    virtual AXElementPtr focusedElementOf(const AXElement& application, AXError* error = nullptr);

    virtual QVariant attribute(const AXElement& el, const QString& name, AXError* error = nullptr) = 0;
    virtual AXError setAttribute(const AXElement& el, const QString& name, const QVariant& value) = 0;
    // A failed query leaves settable false and answers the error.
    virtual AXError isAttributeSettable(const AXElement& el, const QString& name, bool* settable) = 0;
    // The deepest element of that application under a screen point (top-left origin, y
    // down); none when nothing of it is there.
    virtual AXElementPtr elementAtPoint(const AXElement& application, QPointF point, AXError* error = nullptr) = 0;
    // The element that contains this one ("AXParent"); none at the application's top.
    virtual AXElementPtr parent(const AXElement& el, AXError* error = nullptr) = 0;
    // Screen rectangle of a text range ("AXBoundsForRange").
    virtual std::optional<QRectF> boundsForRange(const AXElement& el, AXRange range, AXError* error = nullptr) = 0;
    virtual std::optional<qint64> pid(const AXElement& el) = 0;
    // How long a call to this element may wait for its application.
    virtual AXError setMessagingTimeout(const AXElement& el, float seconds) = 0;
    // Gives the target application time to apply a write before it is read again.
    virtual void settle(double seconds) = 0;
    // Whether this process can read and write other applications' text at all (on Linux:
    // the desktop's accessibility bus is up and enabled). A backend that cannot tell says no.
    virtual bool isProcessTrusted() { return false; }
    // Whether an empty "AXValue" of this element means the field is really empty, rather
    // than a toolkit that does not expose its text. A backend that cannot tell says no.
    virtual bool reportsEmptyValueReliably(const AXElement& el) {
        (void)el;
        return false;
    }

    // Whether two elements stand for the same object of its application (each read of the
    // focused element gives an element of its own). A backend that cannot tell compares identity.
    virtual bool sameElement(const AXElement& a, const AXElement& b) { return &a == &b; }

    // Reading another application's window as a tree: its label ("AXTitle") and description
    // ("AXDescription") are read through attribute(); these give the way down.
    // The application's window with the focus ("AXFocusedWindow"), or its main one
    // ("AXMainWindow"); none with success when it has no such window. A backend that cannot
    // walk a tree answers as for an unsupported attribute.
    enum class WindowKind { focused, main };
    virtual AXElementPtr windowOf(const AXElement& application, WindowKind kind, AXError* error = nullptr);
    // The element's children in order ("AXChildren"); none with an error when they cannot be read.
    virtual std::vector<AXElementPtr> children(const AXElement& el, AXError* error = nullptr);

    static Accessibility& shared();
    static void install(Accessibility* accessibility);
};

}  // namespace murmelo

Q_DECLARE_METATYPE(murmelo::AXRange)
