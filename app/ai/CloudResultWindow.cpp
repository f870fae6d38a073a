#include "ai/CloudResultWindow.h"

#include "ai/CloudActionHistory.h"
#include "ai/QuickReplySettingsLink.h"
#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "ui/FloatingCard.h"
#include "ui/ReduceMotion.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

namespace murmelo {
namespace {

namespace M = CloudResultMetrics;

// The card's window: a close request from the desktop dismisses the card, and the window is
// only ever hidden.
class ResultPanel : public QWidget {
public:
    explicit ResultPanel(std::function<void()> onClose) : onClose_(std::move(onClose)) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        onClose_();
    }

private:
    std::function<void()> onClose_;
};

double interpolate(const QList<double>& times, const QList<double>& values, double t) {
    for (qsizetype i = 1; i < times.size(); ++i)
        if (t <= times[i]) {
            const double f = (t - times[i - 1]) / (times[i] - times[i - 1]);
            return values[i - 1] + (values[i] - values[i - 1]) * f;
        }
    return values.last();
}

// The small four-pointed glint in the card's corner when it arrives.
class ArrivalSpark : public QWidget {
public:
    explicit ArrivalSpark(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("arrivalSpark"));
        setFixedSize(22, 22);
        animation_.setStartValue(0.0);
        animation_.setEndValue(1.0);
        animation_.setDuration(int(CloudResultWindow::sparkDuration * 1000));
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment({0.2, 0.75}, {0.25, 1.0}, {1.0, 1.0});
        animation_.setEasingCurve(curve);
        QObject::connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            progress_ = v.toDouble();
            update();
        });
        animation_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const double t = progress_;
        const double opacity = interpolate({0, 0.12, 0.24, 0.52, 0.68, 1}, {0, 0.72, 0.92, 0.28, 0, 0}, t);
        const double rotation = interpolate({0, 0.12, 0.24, 0.52, 1}, {0, 0.1, 0.17, 0.24, 0.28}, t);
        const double scale = interpolate({0, 0.12, 0.24, 0.52, 1}, {0.35, 0.82, 1, 1.35, 1.55}, t);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(opacity);
        p.translate(11, 11);
        p.rotate(rotation * 180 / M_PI);
        p.scale(scale, scale);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(114, 217, 212, int(255 * 0.38)));
        p.drawEllipse(QPointF(0, 0), 8, 8);
        const QColor core(216, 255, 251);
        QColor ray = core;
        ray.setAlphaF(0.72);
        p.setBrush(ray);
        p.drawRoundedRect(QRectF(-7.5, -0.5, 15, 1), 0.5, 0.5);
        p.drawRoundedRect(QRectF(-0.5, -7.5, 1, 15), 0.5, 0.5);
        p.setBrush(core);
        p.drawRoundedRect(QRectF(-2.5, -2.5, 5, 5), 2.5, 2.5);
    }

private:
    QVariantAnimation animation_;
    double progress_ = 0;
};

}  // namespace

CloudResultWindow& CloudResultWindow::shared() {
    // Kept for the life of the process; its widgets must not outlive the application object.
    static auto* window = new CloudResultWindow;
    return *window;
}

QString CloudResultWindow::textToDeliver(const QString& text) { return text.trimmed(); }

double CloudResultWindow::cardHeight(double measured, double ceiling) {
    return std::min(std::max(ceiling, cardFloor), std::max(cardFloor, std::ceil(measured) + 2 * M::textInset + 4));
}

double CloudResultWindow::measureText(const QString& text, double textWidth) {
    QTextDocument doc;
    doc.setDefaultFont(F::system(M::textFontSize));
    doc.setDocumentMargin(0);
    doc.setPlainText(text);
    QTextCursor all(&doc);
    all.select(QTextCursor::Document);
    QTextBlockFormat block;
    block.setLineHeight(M::lineSpacing, QTextBlockFormat::LineDistanceHeight);
    block.setBottomMargin(M::paragraphSpacing);
    all.mergeBlockFormat(block);
    doc.setTextWidth(textWidth);
    return doc.size().height();
}

double CloudResultWindow::cardHeightThatFits(const QString& text, double width, double ceiling, const Measure& measure) {
    const double textWidth = std::max(120.0, std::min(M::readingMaxWidth, width - 2 * horizontalPadding - 2) - 2 * M::textInset);
    return cardHeight(measure(text, textWidth), ceiling);
}

QSizeF CloudResultWindow::fitSize(double minWidth, double maxWidth, double step, double ratio, double maxHeight,
                                  double minHeight, const std::function<double(double)>& naturalHeight) {
    const int n = int(std::ceil((maxWidth - minWidth) / step));
    const int kMax = std::max(0, n);
    const auto width = [&](int k) { return std::min(minWidth + k * step, maxWidth); };
    const auto fits = [&](double w) { return naturalHeight(w) <= w / ratio; };
    if (!fits(width(kMax))) return {width(kMax), std::min(naturalHeight(width(kMax)), maxHeight)};
    int lo = 0, hi = kMax;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (fits(width(mid))) hi = mid;
        else lo = mid + 1;
    }
    return {width(lo), std::min(std::max(naturalHeight(width(lo)), minHeight), maxHeight)};
}

bool CloudResultWindow::isKey() const { return panel_ && panel_->isActiveWindow(); }
bool CloudResultWindow::isVisible() const { return panel_ && panel_->isVisible(); }

bool CloudResultWindow::contains(QPointF point, double margin) const {
    if (!isVisible()) return false;
    // The panel's frame in the bottom-left model of the first screen, as the tap converts.
    const auto screens = QGuiApplication::screens();
    const double maxY = screens.isEmpty() ? 0.0 : double(screens.first()->geometry().height());
    const QRect g = panel_->frameGeometry();
    const QRectF model(g.x(), maxY - (g.y() + g.height()), g.width(), g.height());
    return model.adjusted(-margin, -margin, margin, margin).contains(point);
}

void CloudResultWindow::build() {
    if (panel_) return;
    panel_ = std::make_unique<ResultPanel>([this] { cancel(); });
    FloatingCard::setUpWindow(panel_.get(), FloatingCard::Clicks::taken, {}, FloatingCard::Focus::takes);
    panel_->resize(int(M::minWidth), int(M::minWidth / targetRatio));
    panel_->setMinimumSize(int(M::compactMinWidth), int(compactMinHeight));
    const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    auto* layout = new QVBoxLayout(panel_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new CloudResultView(state_, Water{dark, false}, [this](CloudResultAction a) { perform(a); }, panel_.get());
    if (RTL::isActive()) view_->setLayoutDirection(Qt::RightToLeft);
    layout->addWidget(view_);
}

void CloudResultWindow::fill(const CloudResultRequest& request) {
    // A replaced request's callbacks are never called.
    request_ = request;
    if (panel_)
        panel_->setMinimumSize(int(request.compact ? M::compactMinWidth : M::minWidth),
                               int(request.compact ? compactMinHeight : standardMinHeight));
    state_.fill(request);
    if (panel_) panel_->setWindowTitle(QStringLiteral("Ondrix — ") + request.title);
}

QString CloudResultWindow::currentText() const {
    return textToDeliver(state_.textView ? state_.textView->toPlainText() : state_.incoming);
}

void CloudResultWindow::show(const CloudResultRequest& request) {
    build();
    fill(request);
    if (request.historyTitle)
        (history_ ? *history_ : CloudActionHistory::shared()).capture(*request.historyTitle, request.text);
    present(true);
    logLine(QStringLiteral("окно результата: «") + request.title + QStringLiteral("», ") +
            QString::number(graphemeCount(request.text)) + QStringLiteral(" симв., кнопка «") + request.primaryTitle +
            QStringLiteral("»"));
}

void CloudResultWindow::showError(const QString& message, bool offerSettings) {
    build();
    request_.reset();
    panel_->setMinimumSize(int(M::minWidth), int(standardMinHeight));
    state_.fillError(message, offerSettings);
    panel_->setWindowTitle(L(QStringLiteral("result.error.window"), QStringLiteral("Murmelo — не получилось")));
    present(false);
}

QSizeF CloudResultWindow::fitOnView(CloudResultView& view, const QString& text, QSizeF visible) {
    const bool compact = state_.compact;
    const double m = compact ? M::compactMinWidth : M::minWidth;
    const double maxW = std::max(m, std::min(visible.width() * 0.5, maxWidth));
    const double maxH = std::max(M::minWidth / targetRatio, visible.height() - 32);
    const double minH = compact ? compactMinHeight : standardMinHeight;
    const double ceiling = visible.height() * 0.5;
    const auto heightAt = [&](double w) {
        state_.setCardHeight(cardHeightThatFits(text, w, ceiling) + (compact ? M::compactActionInset : 0));
        return double(view.heightAtWidth(int(w)));
    };
    const QSizeF size = fitSize(m, maxW, widthStep, targetRatio, maxH, minH, heightAt);
    heightAt(size.width());
    // Free again, so that the panel's own resizing widens the card.
    view.setMinimumWidth(int(m));
    view.setMaximumWidth(QWIDGETSIZE_MAX);
    return size;
}

void CloudResultWindow::present(bool focusText) {
    if (!panel_) return;
    const bool wasVisible = panel_->isVisible();
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QString text = state_.textView ? state_.textView->toPlainText() : state_.incoming;
        const QSizeF size = fitOnView(*view_, text, screen->availableGeometry().size());
        const QSize whole(int(size.width()), int(size.height()));
        panel_->setGeometry(FloatingCard::placement(whole));
        logLine(QStringLiteral("окно результата: ") + QString::number(whole.width()) + QStringLiteral("×") +
                QString::number(whole.height()) + QStringLiteral(" pt, правый нижний угол"));
    }
    if (wasVisible || reduceMotion()) {
        panel_->setWindowOpacity(1);
        panel_->show();
        panel_->raise();
    } else {
        animateArrival();
    }
    panel_->activateWindow();
    const auto focusTextView = [this] {
        if (!state_.textView) return;
        state_.textView->setFocus(Qt::OtherFocusReason);
        QTextCursor end = state_.textView->textCursor();
        end.movePosition(QTextCursor::End);
        state_.textView->setTextCursor(end);
    };
    if (focusText) focusTextView();
    std::weak_ptr<int> alive = alive_;
    MainQueue::shared().after(focusCheckDelay, [this, alive, focusText, focusTextView] {
        if (alive.expired() || !isVisible()) return;
        if (focusText && state_.textView && !state_.textView->hasFocus()) focusTextView();
        if (isKey()) return;
        logLine(QStringLiteral("окно результата: клавиатуру без активации не дали — активирую Murmelo"));
        panel_->raise();
        panel_->activateWindow();
        if (focusText) focusTextView();
    });
}

void CloudResultWindow::animateArrival() {
    const QPoint final = panel_->pos();
    panel_->setWindowOpacity(0);
    panel_->move(final + QPoint(22, 14));
    panel_->show();
    panel_->raise();
    addArrivalSpark();
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment({0.22, 1.0}, {0.36, 1.0}, {1.0, 1.0});
    auto* group = new QParallelAnimationGroup(panel_.get());
    auto* slide = new QPropertyAnimation(panel_.get(), "pos", group);
    slide->setEndValue(final);
    auto* fade = new QPropertyAnimation(panel_.get(), "windowOpacity", group);
    fade->setEndValue(1.0);
    for (QPropertyAnimation* a : {slide, fade}) {
        a->setDuration(int(arrivalDuration * 1000));
        a->setEasingCurve(curve);
    }
    QPointer<QWidget> panel = panel_.get();
    QObject::connect(group, &QAbstractAnimation::finished, group, [panel, final] {
        if (!panel) return;
        panel->setWindowOpacity(1);
        panel->move(final);
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void CloudResultWindow::addArrivalSpark() {
    if (spark_) spark_->deleteLater();
    auto* spark = new ArrivalSpark(panel_.get());
    spark->move(std::max(0, panel_->width() - 26), panel_->height() - 4 - 22);
    spark->show();
    spark->raise();
    spark_ = spark;
    QPointer<QWidget> mine = spark;
    std::weak_ptr<int> alive = alive_;
    MainQueue::shared().after(sparkDuration + 0.08, [this, alive, mine] {
        if (alive.expired() || !mine || spark_ != mine) return;
        mine->deleteLater();
        spark_ = nullptr;
    });
}

void CloudResultWindow::close() {
    if (!isVisible()) return;
    hidePanel();
    request_.reset();
}

void CloudResultWindow::hidePanel() {
    panel_->hide();
    state_.original.clear();
    // A hidden card ends its arrival.
    if (spark_) spark_->deleteLater();
    spark_ = nullptr;
}

void CloudResultWindow::perform(CloudResultAction action) {
    switch (action) {
    case CloudResultAction::primary: return primary();
    case CloudResultAction::copy: return copy();
    case CloudResultAction::cancel: return cancel();
    case CloudResultAction::revert: return state_.revert();
    case CloudResultAction::settings:
        close();
        QuickReplySettingsLink::showWindow();
        return;
    }
}

void CloudResultWindow::primary() {
    if (!request_) return;
    const QString text = currentText();
    // An emptied card would replace the user's selection with nothing.
    if (text.isEmpty()) return;
    const bool edited = text != state_.original;
    const CloudResultRequest request = std::move(*request_);
    close();
    request_.reset();
    logLine(QStringLiteral("окно результата: «") + request.title + QStringLiteral("», ") +
            QString::number(graphemeCount(text)) + QStringLiteral(" симв.") +
            (edited ? QStringLiteral(", текст правил человек") : QString()));
    if (request.onPrimary) request.onPrimary(text);
}

void CloudResultWindow::copy() {
    if (!request_) return;
    const QString text = currentText();
    const CloudResultRequest request = std::move(*request_);
    close();
    request_.reset();
    if (request.onCopy) request.onCopy(text);
}

void CloudResultWindow::cancel() {
    std::optional<CloudResultRequest> kept = std::move(request_);
    request_.reset();
    if (isVisible()) hidePanel();
    if (kept && kept->onCancel) kept->onCancel();
}

}  // namespace murmelo
