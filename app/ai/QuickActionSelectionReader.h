#pragma once
#include "ai/QuickActionID.h"
#include "input/TemporaryClipboardLease.h"
#include "platform/Accessibility.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// Finds the text the user selected in the front application, where it stands and whether it
// can be replaced: by accessibility (the focused element, the element under the pointer, and
// their ancestors), else from the X11 PRIMARY selection when it changed since the gesture
// began, else by a copy key under a clipboard lease. Main thread only.
class QuickActionSelectionReader {
public:
    using Completion = std::function<void(const std::optional<QuickActionSelection>&)>;
    // Sends the copy chord to the front application (the switcher's marked Command-C).
    using SendCopyKey = std::function<void()>;

    static constexpr int maxSelectionLength = 250000;
    static constexpr int minSelectionLength = 2;
    static constexpr int truncationThreshold = 20000;
    static constexpr int probeLevels = 8;
    static constexpr double copySettle = 0.14;
    static constexpr quint16 keyC = 8;

    explicit QuickActionSelectionReader(SendCopyKey sendCopyKey);

    void readSelection(QPointF anchor, bool allowClipboardFallback, bool preferCursorAnchor, Completion completion);
    void cancelPendingRead();

    // A selection gesture may begin: PRIMARY changes from here on count as the user's.
    void markGestureStart();
    // What PRIMARY holds now counts as old.
    void forgetPrimary();
    // The gesture that ends now began `presses` mouse downs ago (a double click began with the
    // first of its two).
    void useGestureStartOf(int presses);

    static QRectF appKitRect(const QRectF& fromAX, double mainScreenMaxY);
    static QPointF appKitPoint(QPointF fromCG, double mainScreenMaxY);
    // The anchor beside a selection's bounds, for a keyboard selection.
    static QPointF boundsAnchor(const QRectF& bounds);

private:
    enum class Probe { found, blocked };
    struct ProbeResult {
        Probe kind;
        QuickActionSelection selection;
    };
    struct Front {
        qint64 pid = 0;
        QString bundleID;
        QString appName;
    };
    std::optional<ProbeResult> probeAXSelection(QPointF fallbackAnchor, bool preferCursorAnchor, const Front& front);
    QuickActionSelection build(const AXElementPtr& el, const QString& text, QPointF fallbackAnchor,
                               bool preferCursorAnchor, const Front& front);
    std::optional<QuickActionSelection> readPrimary(QPointF fallbackAnchor, const Front& front);
    void readViaTemporaryCopy(QPointF fallbackAnchor, const Front& front, Completion completion);
    QuickActionSelection fromText(const QString& text, QPointF fallbackAnchor, const Front& front,
                                  const QString& path);
    static bool acceptable(const QString& text);

    SendCopyKey sendCopyKey_;
    std::optional<TemporaryClipboardLease::Token> clipboardLeaseToken_;
    // PRIMARY's change count at each recent mouse down, newest last, and the one the current
    // gesture compares with.
    std::deque<qint64> primaryAtPresses_;
    qint64 primaryBaseline_ = -1;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace murmelo
