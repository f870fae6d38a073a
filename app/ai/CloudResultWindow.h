#pragma once
#include "ai/CloudResultState.h"
#include "ai/CloudResultView.h"
#include "platform/MainQueue.h"

#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class CloudActionHistory;

// The floating card in which every cloud result is shown, edited and delivered, and in which
// a failure is shown. One panel for the life of the process, hidden rather than destroyed.
// It takes the keyboard when shown: X11 has no window that takes typing without activating.
// Main thread only.
class CloudResultWindow {
public:
    static CloudResultWindow& shared();

    static constexpr double horizontalPadding = 18;
    static constexpr double cardFloor = CloudResultState::CARD_FLOOR;
    static constexpr double screenMargin = 16;
    static constexpr double maxWidth = 760;
    static constexpr double widthStep = 20;
    static constexpr double targetRatio = 4.0 / 3.0;
    static constexpr double arrivalDuration = 0.66;
    static constexpr double sparkDuration = 0.72;
    static constexpr double compactMinHeight = 110;
    static constexpr double standardMinHeight = 220;
    static constexpr double focusCheckDelay = 0.08;

    bool isKey() const;
    bool isVisible() const;
    // The point in the bottom-left screen model (as the event tap gives it).
    bool contains(QPointF point, double margin = 0) const;

    void show(const CloudResultRequest& request);
    void showError(const QString& message, bool offerSettings);
    void close();

    // The text a result hands on: without white space and line breaks at either end.
    static QString textToDeliver(const QString& text);
    static double cardHeight(double measured, double ceiling);
    // The text's height laid out at textWidth with the card's font and spacing.
    using Measure = std::function<double(const QString& text, double textWidth)>;
    static double measureText(const QString& text, double textWidth);
    static double cardHeightThatFits(const QString& text, double width, double ceiling, const Measure& measure = measureText);
    // The narrowest grid width at which the content is no taller than the aspect allows; a
    // text too long for that takes the widest width and grows up to maxHeight.
    static QSizeF fitSize(double minWidth, double maxWidth, double step, double ratio, double maxHeight, double minHeight,
                          const std::function<double(double width)>& naturalHeight);

    // Where shown results are recorded (nullptr: the shared history); tests give their own.
    void useHistory(CloudActionHistory* history) { history_ = history; }

    // For tests and the desktop harness.
    CloudResultState& state() { return state_; }
    QWidget* panel() const { return panel_.get(); }
    CloudResultView* view() const { return view_; }
    bool hasRequest() const { return request_.has_value(); }
    // The card's actions, as its buttons and keys call them.
    void perform(CloudResultAction action);

private:
    CloudResultWindow() = default;
    void build();
    void fill(const CloudResultRequest& request);
    void present(bool focusText);
    QString currentText() const;
    QSizeF fitOnView(CloudResultView& view, const QString& text, QSizeF visible);
    void animateArrival();
    void addArrivalSpark();
    void hidePanel();

    void primary();
    void copy();
    void cancel();

    CloudResultState state_;
    std::unique_ptr<QWidget> panel_;
    CloudResultView* view_ = nullptr;
    std::optional<CloudResultRequest> request_;
    QPointer<QWidget> spark_;
    CloudActionHistory* history_ = nullptr;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // delayed work checks it
};

}  // namespace murmelo
