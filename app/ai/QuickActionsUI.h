#pragma once
// The Quick Actions panel: the bar's metrics and views, and the controller of the one
// floating panel that shows the bead, the bar, the loading line, messages and errors.
// Geometry is in the bottom-left screen model; the widgets convert once when placed.
#include "ai/QuickActionAPIClient.h"
#include "ai/QuickActionID.h"
#include "platform/MainQueue.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace murmelo {

class QuickActionsController;

struct QuickActionBarLayout {
    QRectF beadFrame;
    QRectF separatorFrame;
    QList<QRectF> actionFrames;
};

// Sizes of the bar and its parts. Titles are measured once per action with the title font;
// tests put in a width function of their own.
namespace QuickActionBarMetrics {
inline constexpr double minimumWidth = 398;  // the bar is never narrower
inline constexpr double height = 44;
inline constexpr double contentInset = 6;
inline constexpr double beadSize = 32;
inline constexpr double collapsedBeadSize = 35;
inline constexpr double collapsedShadowPad = 11;
inline constexpr double collapsedWindowSize = collapsedBeadSize + 2 * collapsedShadowPad;
inline constexpr double beadToActionsGap = 10;
inline constexpr double actionGap = 2;
inline constexpr double iconWidth = 15;
inline constexpr double iconGap = 4;
inline constexpr double hInset = 10;
inline constexpr double moreWidth = 38;

// The width of a title in the title font (system font, 11 points, semibold).
using TextWidth = std::function<double(const QString&)>;
// Replaces the measuring function and forgets the cached widths (tests).
void setTextWidth(TextWidth measure);
double preferredWidth(QuickActionID action);
double width(const QList<QuickActionID>& actions);
QuickActionBarLayout layout(const QRectF& rect, const QList<QuickActionID>& actions, bool beadOnLeft);
}  // namespace QuickActionBarMetrics

// The one floating panel of Quick Actions and its states. Main thread only.
class QuickActionPanelController {
public:
    enum class State { hidden, collapsed, actions, loading, message, error };

    static QuickActionPanelController& shared();
    QuickActionPanelController();
    ~QuickActionPanelController();
    // The controller the panel reports the user's choices to.
    void setController(QuickActionsController* controller) { controller_ = controller; }

    void show(const QuickActionSelection& selection, const QList<QuickActionID>& actions);
    void dismiss();
    bool contains(QPointF point, double margin) const;
    // Whether the panel's own views received a press at that point (the last one they saw).
    // The event tap's report of the same press may come after the press has already
    // changed or moved the panel (a button that starts loading), where contains() no longer
    // finds it.
    bool tookPress(QPointF point) const;
    // A press the panel's views received, at window-system points (the views report it).
    void notePress(QPointF nativePoint) { ownPress_ = nativePoint; }
    bool handleKeyDown(qint64 keyCode);
    void showLoading(const QString& title);
    void showMessage(const QString& title, const QString& detail);
    void showError(const QString& message, const QuickActionSelection& selection);
    void showResult(const QuickActionTransformResult& result, QuickActionID action,
                    const QuickActionSelection& selection);
    void showMoreMenu(const QuickActionSelection& selection);
    void perform(QuickActionID action);

    void expand();
    void toggleExpanded();
    void scheduleCollapse();
    void cancelCollapse();

    // Targets of the menu and the error card's buttons.
    void moreAction(const QString& rawValue);
    void openSettings();
    void disableCurrentApp();
    void closePanel();

    static QPointF orbCenter(QPointF anchor, const std::optional<QRectF>& selectionBounds, const QRectF& visibleFrame);
    static bool placesBeadOnLeft(QPointF beadCenter, double panelWidth, const QRectF& visibleFrame);
    // The More menu's actions for a selection, given what the bar already shows.
    static QList<QuickActionID> moreCandidates(bool isEditable, const QList<QuickActionID>& onBar);

    // What tests and the desktop harness look at.
    State state() const { return state_; }
    const std::optional<QuickActionSelection>& selection() const { return selection_; }
    const std::optional<QuickActionSelection>& lastSelection() const { return lastSelection_; }
    QList<QuickActionID> barActions() const;
    bool beadOnLeft() const { return beadOnLeft_; }
    // The panel's frame in the bottom-left model; empty before the first placement.
    QRectF frame() const { return frame_; }
    bool isVisible() const;
    QWidget* window() const { return window_.get(); }
    QMenu* moreMenu() const { return menu_.get(); }
    // The texts the card in front shows (loading title, message title and detail, error).
    QStringList texts() const { return texts_; }

private:
    void rebuild();
    void scheduleAutoDismiss(double seconds);
    void bringToFront();
    void setEscapeGrab(bool on);
    QuickActionsController& controller() const;

    std::unique_ptr<QWidget> window_;
    std::unique_ptr<QMenu> menu_;
    QuickActionsController* controller_ = nullptr;
    State state_ = State::hidden;
    std::optional<QuickActionSelection> selection_;
    std::optional<QuickActionSelection> lastSelection_;
    QList<QuickActionID> actions_;
    TimerHandle autoDismissWork_;
    TimerHandle collapseWork_;
    bool beadOnLeft_ = true;
    bool escapeGrabbed_ = false;
    QRectF frame_;
    std::optional<QPointF> ownPress_;
    QStringList texts_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace murmelo
