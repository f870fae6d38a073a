#pragma once
#include "platform/Workspace.h"

#include <QRectF>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo::sim {

// A text field of a simulated application. Positions are UTF-16 code units, as the
// accessibility interface exchanges them.
struct SimField {
    QString role = QStringLiteral("AXTextField");  // AXTextArea, AXSecureTextField, AXComboBox, ...
    QString subrole;
    QString value;
    qsizetype selectionStart = 0;
    qsizetype selectionLength = 0;
    bool editable = true;
    bool secure = false;           // a password field
    bool dropsTypedText = false;   // typed keys never arrive (a field that loses input)
    bool refusesWrites = false;    // accessibility writes fail
    bool ignoresPaste = false;     // Command-V does nothing: the pasteboard is never read
    bool ignoresSelectionWrites = false;  // an accessibility selection request succeeds and moves nothing

    qsizetype caret() const { return selectionStart + selectionLength; }
    QString selectedText() const { return value.mid(selectionStart, selectionLength); }
    void select(qsizetype start, qsizetype length = 0);

    // Accessibility details of slower or stranger applications.
    bool selectedTextSettable = true;  // "AXSelectedText" can be set
    bool valueSettable = true;         // "AXValue" can be set
    bool ignoresWrites = false;        // a write reports success and changes nothing
    bool selectionReadable = true;     // "AXSelectedTextRange" can be read
    bool valueReadable = true;         // "AXValue" can be read
    int writeLagReads = 0;             // an accepted write shows only after this many re-reads
    double readDelay = 0;              // seconds each accessibility read keeps the caller waiting;
                                       // past the element's messaging time-out the read cannot complete
    bool emptyValueReliable = false;   // an empty "AXValue" is known to be really empty
    std::optional<QString> placeholder;
    std::optional<QRectF> frame;       // screen frame; ranges are laid out 8 units per code unit
    // The element that contains this one in its window (a group, a web area); none: the
    // field sits directly in its application.
    std::shared_ptr<SimField> parent;
    bool exposesText = true;           // false: an element with no text interface (a group)

    // As an element of a window's tree: its label, its description, a value that is not text
    // (a slider's number) in place of the text, and the elements inside it.
    QString title;
    QString description;
    QVariant otherValue;
    std::vector<std::shared_ptr<SimField>> children;
};

struct SimApp {
    AppIdentity identity;
    std::vector<std::shared_ptr<SimField>> fields;
    std::shared_ptr<SimField> focused;
    bool running = true;
    // Shows a window of its own; a background helper does not.
    bool hasWindow = true;
    // A browser-like application that shows no focused element until its accessibility
    // tree is switched on from outside.
    bool accessibilityAsleep = false;
    // Seconds the application takes to name its focused element; past an element's
    // messaging time-out the question cannot complete.
    double focusReadDelay = 0;
    // The window manager refuses to bring it to the front when another client asks.
    bool refusesActivation = false;
    // The roots of its accessibility tree: the window with the focus and the main window.
    std::shared_ptr<SimField> focusedWindow;
    std::shared_ptr<SimField> mainWindow;
    // Its top-level windows as the window list shows them.
    std::vector<WindowInfo> windows;
};

// The one simulated desktop: applications with text fields, a front application and a
// focused field. Other simulated backends (keys, pasteboard, accessibility, event source)
// act on it. Nothing here sleeps or touches the real desktop.
class SimDesktop : public Workspace {
public:
    SimDesktop() = default;

    SimApp& addApp(const QString& bundleId, const QString& name);
    std::shared_ptr<SimField> addField(const QString& bundleId, const QString& role = QStringLiteral("AXTextField"),
                                       const QString& value = {});
    // Brings the application to the front and focuses the field (or keeps its focus).
    void focus(const QString& bundleId, std::shared_ptr<SimField> field = nullptr);
    void quit(const QString& bundleId);

    SimApp* app(const QString& bundleId);
    SimApp* front();
    std::shared_ptr<SimField> focusedField();
    SimApp* appByPid(qint64 pid);
    SimApp* ownerOf(const SimField* field);

    // Editing as the focused application would do it: the text replaces the selection and
    // the caret ends after it.
    static void insertText(SimField& field, const QString& text);
    static void deleteBackward(SimField& field);

    // Workspace
    std::optional<AppIdentity> frontmostApplication() const override;
    bool isRunning(const AppIdentity& app) const override;
    std::vector<AppIdentity> runningApplications() const override;
    std::optional<AppIdentity> runningApplication(qint64 pid) const override;
    bool activate(const AppIdentity& app) override;
    void setActivationHandler(std::function<void(const AppIdentity&)> handler) override;
    // Thread-safe as long as the test changes no window while a reader runs.
    std::vector<WindowInfo> windowsOf(qint64 pid) const override;

private:
    std::vector<std::unique_ptr<SimApp>> apps_;
    SimApp* front_ = nullptr;
    qint64 nextPid_ = 4100;
    std::function<void(const AppIdentity&)> onActivate_;
};

}  // namespace murmelo::sim
