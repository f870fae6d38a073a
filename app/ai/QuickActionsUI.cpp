#include "ai/QuickActionsUI.h"

#include "ai/CloudResultWindow.h"
#include "ai/QuickActionsController.h"
#include "ai/QuickReplyCoordinator.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/TextWriteTrace.h"
#include "platform/EventTap.h"
#include "platform/Screens.h"
#include "ui/FloatingCard.h"

#include <QAbstractButton>
#include <QAction>
#include <QCursor>
#include <QFontMetricsF>
#include <QLabel>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

namespace murmelo {

// ---- metrics

namespace QuickActionBarMetrics {
namespace {

QFont titleFont() {
    QFont f = QGuiApplication::font();
    f.setPointSizeF(11);
    f.setWeight(QFont::DemiBold);
    return f;
}

TextWidth& measure() {
    static TextWidth m = [](const QString& text) { return QFontMetricsF(titleFont()).horizontalAdvance(text); };
    return m;
}

QHash<QuickActionID, double>& widthCache() {
    static QHash<QuickActionID, double> cache;
    return cache;
}

}  // namespace

void setTextWidth(TextWidth m) {
    measure() = std::move(m);
    widthCache().clear();
}

double preferredWidth(QuickActionID action) {
    if (action == QuickActionID::more) return moreWidth;
    auto it = widthCache().find(action);
    if (it != widthCache().end()) return *it;
    const double w = std::ceil(measure()(QuickActionIDs::title(action)) + 2 * hInset + iconWidth + iconGap);
    widthCache().insert(action, w);
    return w;
}

double width(const QList<QuickActionID>& actions) {
    double sum = 0;
    for (QuickActionID a : actions) sum += preferredWidth(a);
    const double n = double(actions.size());
    return std::max(minimumWidth,
                    sum + actionGap * std::max(n - 1, 0.0) + 2 * contentInset + beadSize + beadToActionsGap);
}

QuickActionBarLayout layout(const QRectF& rect, const QList<QuickActionID>& actions, bool beadOnLeft) {
    const double w = rect.width();
    const double h = rect.height();
    QuickActionBarLayout out;
    const double bx = beadOnLeft ? contentInset : w - contentInset - beadSize;
    out.beadFrame = QRectF(bx, (h - beadSize) / 2, beadSize, beadSize);
    const double spanStart = beadOnLeft ? out.beadFrame.right() + beadToActionsGap : contentInset;
    const double spanEnd = beadOnLeft ? w - contentInset : out.beadFrame.left() - beadToActionsGap;
    const double s = beadOnLeft ? out.beadFrame.right() + 5 : out.beadFrame.left() - 5;
    out.separatorFrame = QRectF(s, 11, 1, h - 22);
    const qsizetype n = actions.size();
    const double available = std::max(spanEnd - spanStart - actionGap * double(std::max<qsizetype>(n - 1, 0)), 0.0);
    double sum = 0;
    int titled = 0;
    for (QuickActionID a : actions) {
        sum += preferredWidth(a);
        if (a != QuickActionID::more) ++titled;
    }
    const double scale = sum > 0 && available < sum ? available / sum : 1;
    const double extra = titled > 0 ? std::max(available - sum, 0.0) / titled : 0;
    double x = spanStart;
    for (QuickActionID a : actions) {
        double width = scale * preferredWidth(a);
        if (scale == 1 && a != QuickActionID::more) width += extra;
        out.actionFrames << QRectF(x, contentInset, width, h - 2 * contentInset);
        x += width + actionGap;
    }
    return out;
}

}  // namespace QuickActionBarMetrics

// ---- views

namespace {

namespace M = QuickActionBarMetrics;

// The Part's frames have their origin at the bottom left; Qt's children at the top left.
QRect flipped(const QRectF& r, double height) {
    return QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height()).toAlignedRect();
}

QColor white(double opacity) { return QColor::fromRgbF(1, 1, 1, float(opacity)); }
QColor rgb(double r, double g, double b, double a) { return QColor::fromRgbF(float(r), float(g), float(b), float(a)); }

// The round bead: the fallback drawing (the rendered bead images are not made here).
class BeadView : public QWidget {
public:
    explicit BeadView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF b = QRectF(rect());
        const auto oval = [&](double inset, QColor from, QColor to, double angle, double strokeOpacity, double line) {
            const QRectF r = b.adjusted(inset, inset, -inset, -inset);
            const double rad = angle * M_PI / 180;
            const QPointF c = r.center();
            const QPointF d(std::cos(rad) * r.width() / 2, -std::sin(rad) * r.height() / 2);
            QLinearGradient g(c - d, c + d);
            g.setColorAt(0, from);
            g.setColorAt(1, to);
            p.setBrush(g);
            p.setPen(QPen(white(strokeOpacity), line));
            p.drawEllipse(r);
        };
        oval(1.5, rgb(0.16, 0.19, 0.28, 0.99), rgb(0.045, 0.06, 0.105, 0.99), -58, 0.24, 0.9);
        oval(7.2, rgb(0.2, 0.24, 0.38, 0.96), rgb(0.075, 0.09, 0.17, 0.98), -48, 0.13, 0.7);
        const QPointF c = b.center();
        const double radius = 8.6 * b.width() / 35;
        const QRectF arcBox(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
        const auto arc = [&](double from, double to, QColor colour) {
            QPen pen(colour, 2.05);
            pen.setCapStyle(Qt::RoundCap);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawArc(arcBox, int(from * 16), int((to - from) * 16));
        };
        arc(54, 155, rgb(0.4, 0.91, 0.84, 1));
        arc(163, 264, rgb(0.49, 0.58, 1, 1));
        arc(272, 326, rgb(0.76, 0.57, 1, 1));
        const double a = -7 * M_PI / 180;
        p.setPen(Qt::NoPen);
        p.setBrush(rgb(0.91, 0.99, 1, 1));
        p.drawEllipse(QPointF(c.x() + radius * std::cos(a), c.y() - radius * std::sin(a)), 1.65, 1.65);
        p.setBrush(white(0.78));
        p.drawRoundedRect(QRectF(c.x() - 0.75, c.y() - 4, 1.5, 8), 0.75, 0.75);
        p.drawRoundedRect(QRectF(c.x() - 2.3, c.y() - 4.5, 4.6, 1.25), 0.6, 0.6);
        p.drawRoundedRect(QRectF(c.x() - 2.3, c.y() + 3.25, 4.6, 1.25), 0.6, 0.6);
    }
};

// The translucent rounded surface behind the bar and the cards: no blur on X11, and opaque
// where no compositor blends it.
class SurfaceView : public QWidget {
public:
    SurfaceView(QSize size, double radius, bool strongOutline) : radius_(radius), strong_(strongOutline) {
        resize(size);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
        const bool blended = Screens::shared().compositing();
        p.setPen(strong_ ? QPen(rgb(0, 0, 0, 0.82), 1.5) : QPen(white(0.14), 1.0));
        p.setBrush(strong_ ? rgb(0.025, 0.035, 0.055, blended ? 0.86 : 1) : rgb(0.06, 0.07, 0.1, blended ? 0.86 : 1));
        p.drawRoundedRect(r, radius_, radius_);
        if (strong_) {
            p.setPen(QPen(white(0.36), 1));
            p.setBrush(Qt::NoBrush);
            const double inner = std::max(radius_ - 1.75, 0.0);
            p.drawRoundedRect(QRectF(rect()).adjusted(1.75, 1.75, -1.75, -1.75), inner, inner);
        }
    }

private:
    double radius_;
    bool strong_;
};

QLabel* textLabel(const QString& text, double points, QFont::Weight weight, QColor colour, QWidget* parent) {
    QFont f = QGuiApplication::font();
    f.setPointSizeF(points);
    f.setWeight(weight);
    return FloatingCard::label(text, f, colour, parent);
}

// A flat card button: filled when primary.
class CardButton : public QAbstractButton {
public:
    CardButton(const QString& title, bool primary, QWidget* parent) : QAbstractButton(parent), primary_(primary) {
        setText(title);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(primary_ ? rgb(0.37, 0.43, 0.92, 1) : white(0.09));
        p.drawRoundedRect(QRectF(rect()), 8, 8);
        QFont f = QGuiApplication::font();
        f.setPointSizeF(11);
        f.setWeight(primary_ ? QFont::DemiBold : QFont::Medium);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    bool primary_;
};

// One action of the bar: its symbol's place and its title; highlighted under the pointer.
class ActionButton : public QAbstractButton {
public:
    ActionButton(QuickActionID action, QWidget* parent) : QAbstractButton(parent), action_(action) {
        setText(action == QuickActionID::more ? QStringLiteral("…") : QuickActionIDs::title(action));
        setToolTip(QuickActionIDs::hint(action));
        setAccessibleName(QuickActionIDs::hint(action));
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }
    QuickActionID action() const { return action_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (underMouse()) {
            p.setPen(QPen(white(0.09), 0.75));
            p.setBrush(white(0.11));
            p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
        }
        QFont f = QGuiApplication::font();
        f.setPointSizeF(11);
        f.setWeight(QFont::DemiBold);
        p.setFont(f);
        p.setPen(white(0.92));
        const QRect inner = rect().adjusted(int(M::hInset), 0, -int(M::hInset), 0);
        p.drawText(inner, Qt::AlignCenter | Qt::TextSingleLine,
                   QFontMetrics(f).elidedText(text(), Qt::ElideRight, inner.width()));
    }

private:
    QuickActionID action_;
};

// The collapsed panel: a transparent square with the bead in its middle.
class OrbView : public QWidget {
public:
    explicit OrbView(QuickActionPanelController& panel) : panel_(panel) {
        resize(int(M::collapsedWindowSize), int(M::collapsedWindowSize));
        auto* bead = new BeadView(this);
        bead->setGeometry(beadFrame());
    }
    static QRect beadFrame() {
        const int pad = int(M::collapsedShadowPad), size = int(M::collapsedBeadSize);
        return QRect(pad, pad, size, size);
    }

protected:
    void enterEvent(QEnterEvent*) override { panel_.expand(); }
    void mousePressEvent(QMouseEvent* e) override {
        if (beadFrame().contains(e->position().toPoint())) panel_.toggleExpanded();
    }

private:
    QuickActionPanelController& panel_;
};

// The unfolded bar: the bead at one end, a separator, a button per action.
class BarView : public SurfaceView {
public:
    BarView(QuickActionPanelController& panel, const QList<QuickActionID>& actions, bool beadOnLeft)
        : SurfaceView(QSize(int(M::width(actions)), int(M::height)), 20, true), panel_(panel) {
        const double h = M::height;
        const QuickActionBarLayout layout = M::layout(QRectF(0, 0, width(), h), actions, beadOnLeft);
        beadHitRect_ = flipped(layout.beadFrame, h);
        auto* bead = new BeadView(this);
        bead->setGeometry(beadHitRect_.adjusted(1, 1, -1, -1));
        separator_ = flipped(layout.separatorFrame, h);
        for (qsizetype i = 0; i < actions.size() && i < layout.actionFrames.size(); ++i) {
            auto* button = new ActionButton(actions[i], this);
            button->setGeometry(flipped(layout.actionFrames[i], h));
            QObject::connect(button, &QAbstractButton::clicked, button, [this, button] { pressed(button->action()); });
        }
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        SurfaceView::paintEvent(e);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(white(0.08), 1));
        p.setBrush(rgb(0, 0, 0, 0.18));
        p.drawEllipse(QRectF(beadHitRect_));
        p.fillRect(separator_, white(0.12));
    }
    void enterEvent(QEnterEvent*) override { panel_.cancelCollapse(); }
    void leaveEvent(QEvent*) override { panel_.scheduleCollapse(); }
    void mousePressEvent(QMouseEvent* e) override {
        if (beadHitRect_.contains(e->position().toPoint())) panel_.toggleExpanded();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        setCursor(beadHitRect_.contains(e->position().toPoint()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

private:
    void pressed(QuickActionID action) {
        if (panel_.selection()) panel_.perform(action);
    }
    QuickActionPanelController& panel_;
    QRect beadHitRect_;
    QRect separator_;
};

// A slowly turning arc while a cloud action runs.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent) {
        auto* timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 30) % 360;
            update();
        });
        timer->start(80);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPen pen(white(0.85), 2);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -angle_ * 16, 270 * 16);
    }

private:
    int angle_ = 0;
};

QWidget* loadingCard(const QString& title, bool beadOnLeft) {
    auto* card = new SurfaceView(QSize(236, 42), 17, false);
    const double h = 42;
    (new BeadView(card))->setGeometry(flipped(QRectF(beadOnLeft ? 5 : 201, 6, 30, 30), h));
    (new Spinner(card))->setGeometry(flipped(QRectF(beadOnLeft ? 48 : 16, 12, 16, 16), h));
    QLabel* label = textLabel(title, 12, QFont::Medium, white(0.9), card);
    label->setGeometry(flipped(QRectF(beadOnLeft ? 72 : 40, 11, 152, 18), h));
    return card;
}

QWidget* messageCard(const QString& title, const QString& detail) {
    auto* card = new SurfaceView(QSize(286, 72), 16, false);
    const double h = 72;
    (new BeadView(card))->setGeometry(flipped(QRectF(12, 21, 30, 30), h));
    textLabel(title, 13, QFont::DemiBold, Qt::white, card)->setGeometry(flipped(QRectF(52, 37, 222, 18), h));
    textLabel(detail, 10, QFont::Normal, white(0.52), card)->setGeometry(flipped(QRectF(52, 17, 222, 16), h));
    return card;
}

QWidget* errorCard(const QString& message, QuickActionPanelController& panel) {
    auto* card = new SurfaceView(QSize(390, 112), 17, false);
    const double h = 112;
    textLabel(L(QStringLiteral("quickActions.failed"), QStringLiteral("Действие не выполнено")), 13, QFont::DemiBold,
              QColor(255, 149, 0), card)
        ->setGeometry(flipped(QRectF(16, 78, 358, 18), h));
    QLabel* text = textLabel(message, 11, QFont::Normal, white(0.75), card);
    text->setWordWrap(true);
    text->setGeometry(flipped(QRectF(16, 42, 358, 32), h));
    auto* close = new CardButton(QStringLiteral("Закрыть"), false, card);
    close->setGeometry(flipped(QRectF(216, 10, 76, 28), h));
    QObject::connect(close, &QAbstractButton::clicked, close, [&panel] { panel.closePanel(); });
    auto* settings = new CardButton(QStringLiteral("Настройки…"), true, card);
    settings->setGeometry(flipped(QRectF(296, 10, 84, 28), h));
    QObject::connect(settings, &QAbstractButton::clicked, settings, [&panel] { panel.openSettings(); });
    return card;
}

// The panel window: never takes the focus, so the application keeps its selection.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(std::function<void(QPointF)> notePress) : notePress_(std::move(notePress)) {
        FloatingCard::setUpWindow(this, FloatingCard::Clicks::taken);
    }
    void setContent(QWidget* content) {
        // The old content may be the view whose own event (the pointer entering the bead, a
        // button's click) led here: it goes once that event has returned.
        if (content_) {
            content_->hide();
            content_->deleteLater();
        }
        content_ = content;
        content_->setParent(this);
        content_->move(0, 0);
        content_->installEventFilter(this);
        for (QWidget* w : content_->findChildren<QWidget*>()) w->installEventFilter(this);
        content_->show();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress)
            notePress_(static_cast<QMouseEvent*>(event)->globalPosition());
        return QWidget::eventFilter(watched, event);
    }

private:
    std::function<void(QPointF)> notePress_;
    QWidget* content_ = nullptr;
};

constexpr qint64 escapeKey = 53;

}  // namespace

// ---- the panel controller

QuickActionPanelController& QuickActionPanelController::shared() {
    static QuickActionPanelController* panel = new QuickActionPanelController;
    return *panel;
}

QuickActionPanelController::QuickActionPanelController() = default;

QuickActionPanelController::~QuickActionPanelController() {
    autoDismissWork_.cancel();
    collapseWork_.cancel();
    setEscapeGrab(false);
}

QuickActionsController& QuickActionPanelController::controller() const { return *controller_; }

QList<QuickActionID> QuickActionPanelController::barActions() const {
    QList<QuickActionID> list{QuickActionID::copy};
    list << actions_ << QuickActionID::more;
    return list;
}

bool QuickActionPanelController::isVisible() const { return window_ && window_->isVisible(); }

void QuickActionPanelController::setEscapeGrab(bool on) {
    if (on == escapeGrabbed_) return;
    escapeGrabbed_ = on;
    // The bar lets Escape close it without the key reaching the application underneath.
    if (on) EventTap::shared().grabChord(int(escapeKey), 0);
    else EventTap::shared().ungrabChord(int(escapeKey), 0);
}

void QuickActionPanelController::bringToFront() {
    if (!window_) return;
    window_->show();
    window_->raise();
    setEscapeGrab(true);
}

void QuickActionPanelController::show(const QuickActionSelection& selection, const QList<QuickActionID>& actions) {
    autoDismissWork_.cancel();
    collapseWork_.cancel();
    selection_ = selection;
    lastSelection_ = selection;
    actions_ = actions;
    state_ = State::collapsed;
    if (!window_) window_ = std::make_unique<PanelWindow>([this](QPointF at) { notePress(at); });
    rebuild();
    bringToFront();
    scheduleAutoDismiss(8.0);
    logLine(QStringLiteral("Quick Actions: выделение ") + QString::number(selection.text.size()) +
            QStringLiteral(" симв., sig=") + TextWriteTrace::signature(selection.text) + QStringLiteral(", ") +
            selection.detectionPath + QStringLiteral(", ") + selection.appName);
}

QPointF QuickActionPanelController::orbCenter(QPointF a, const std::optional<QRectF>& b, const QRectF& V) {
    const double S = M::collapsedBeadSize;
    const double h = S / 2;
    double x, y;
    const bool usable = b && std::isfinite(b->width()) && std::isfinite(b->height()) && !b->isNull() && !b->isEmpty();
    if (!usable) {
        y = a.y() - 10 - S >= V.top() + 8 ? a.y() - 10 - h : a.y() + 10 + h;
    } else {
        // QRectF's top is the smaller y: in this model the bottom edge.
        const double minY = b->top(), maxY = b->bottom();
        const double above = maxY + 16 + h;
        const double below = minY - 16 - h;
        const double vMinY = V.top(), vMaxY = V.bottom();
        const bool upperFits = above + h <= vMaxY - 8;
        const bool lowerFits = below - h >= vMinY + 8;
        if (std::abs(a.y() - maxY) < std::abs(a.y() - minY)) y = upperFits ? above : below;
        else y = lowerFits ? below : upperFits ? above : below;
    }
    x = a.x() + 10 + S <= V.right() - 8 ? a.x() + 10 + h : a.x() - 10 - h;
    x = std::min(std::max(x, V.left() + 8 + h), V.right() - 8 - h);
    y = std::min(std::max(y, V.top() + 8 + h), V.bottom() - 8 - h);
    return QPointF(x, y);
}

bool QuickActionPanelController::placesBeadOnLeft(QPointF c, double W, const QRectF& V) {
    const double k = 22;
    if (c.x() - k + W <= V.right() - 8) return true;
    if (c.x() + k - W >= V.left() + 8) return false;
    return V.right() - c.x() >= c.x() - V.left();
}

void QuickActionPanelController::rebuild() {
    if (!window_) return;
    const std::optional<QuickActionSelection>& sel = selection_ ? selection_ : lastSelection_;
    if (!sel) {
        window_->hide();
        return;
    }
    if (state_ == State::hidden) return;
    const QString first = texts_.value(0), second = texts_.value(1);
    QWidget* content = nullptr;
    switch (state_) {
    case State::collapsed: content = new OrbView(*this); break;
    case State::actions: content = new BarView(*this, barActions(), beadOnLeft_); break;
    case State::loading: content = loadingCard(first, beadOnLeft_); break;
    case State::message: content = messageCard(first, second); break;
    case State::error: content = errorCard(first, *this); break;
    case State::hidden: break;
    }
    const double W = content->width(), H = content->height();

    const auto screens = Screens::shared().screens();
    const ScreenInfo* screen = nullptr;
    for (const ScreenInfo& s : screens)
        if (!screen && s.frame.contains(sel->anchor)) screen = &s;
    if (!screen && !screens.empty()) screen = &screens.front();
    if (screen) {
        const QRectF V = screen->visibleFrame;
        const QPointF c = orbCenter(sel->anchor, sel->selectionBounds, V);
        beadOnLeft_ = placesBeadOnLeft(c, M::width(barActions()), V);
        double x = 0, y = 0;
        switch (state_) {
        case State::collapsed: x = c.x() - W / 2, y = c.y() - H / 2; break;
        case State::actions: {
            const QuickActionBarLayout l = M::layout(QRectF(0, 0, W, H), barActions(), beadOnLeft_);
            x = c.x() - l.beadFrame.center().x(), y = c.y() - H / 2;
            break;
        }
        case State::loading:
            x = beadOnLeft_ ? c.x() - 20 : c.x() - (W - 20);
            y = c.y() - 21;
            break;
        default: {
            const QPointF a = sel->anchor;
            x = a.x() - W / 2;
            y = a.y() - H - 10;
            if (y < V.top() + 8) y = a.y() + 16;
        }
        }
        const double K = state_ == State::collapsed ? M::collapsedShadowPad : 0;
        x = std::min(std::max(x, V.left() + 8 - K), V.right() - W - 8 + K);
        y = std::min(std::max(y, V.top() + 8 - K), V.bottom() - H - 8 + K);
        frame_ = QRectF(x, y, W, H);
        window_->setGeometry(Screens::shared().toNative(frame_).toAlignedRect());
    }
    static_cast<PanelWindow*>(window_.get())->setContent(content);
    window_->resize(int(W), int(H));
    // Only the bead of the collapsed panel takes clicks; its pad lets them through.
    if (state_ == State::collapsed) window_->setMask(QRegion(OrbView::beadFrame(), QRegion::Ellipse));
    else window_->clearMask();
    window_->update();
    bringToFront();
}

void QuickActionPanelController::scheduleAutoDismiss(double seconds) {
    autoDismissWork_.cancel();
    std::weak_ptr<int> alive = alive_;
    autoDismissWork_ = MainQueue::shared().after(seconds, [this, alive] {
        if (alive.expired() || state_ == State::loading) return;
        if (controller_) controller().dismiss();
        else dismiss();
    });
}

void QuickActionPanelController::dismiss() {
    autoDismissWork_.cancel();
    collapseWork_.cancel();
    if (window_) window_->hide();
    if (menu_) menu_->hide();
    state_ = State::hidden;
    selection_.reset();
    setEscapeGrab(false);
}

bool QuickActionPanelController::contains(QPointF point, double margin) const {
    if (!isVisible()) return false;
    const double pad = state_ == State::collapsed ? M::collapsedShadowPad : 0;
    const double inset = pad - margin;
    const QRectF r = frame_.adjusted(inset, inset, -inset, -inset);
    return point.x() >= r.left() && point.x() <= r.right() && point.y() >= r.top() && point.y() <= r.bottom();
}

bool QuickActionPanelController::tookPress(QPointF point) const {
    if (!ownPress_) return false;
    const QPointF native = Screens::shared().toNative(QRectF(point, QSizeF(0, 0))).topLeft();
    return std::abs(native.x() - ownPress_->x()) <= 3 && std::abs(native.y() - ownPress_->y()) <= 3;
}

bool QuickActionPanelController::handleKeyDown(qint64 keyCode) {
    if (state_ == State::hidden || keyCode != escapeKey) return false;
    if (controller_) controller().dismiss();
    else dismiss();
    return true;
}

void QuickActionPanelController::showLoading(const QString& title) {
    autoDismissWork_.cancel();
    state_ = State::loading;
    texts_ = {title};
    rebuild();
}

void QuickActionPanelController::showMessage(const QString& title, const QString& detail) {
    state_ = State::message;
    texts_ = {title, detail};
    rebuild();
    bringToFront();
    scheduleAutoDismiss(1.5);
}

void QuickActionPanelController::showError(const QString& message, const QuickActionSelection& selection) {
    selection_ = selection;
    lastSelection_ = selection;
    state_ = State::error;
    texts_ = {message};
    rebuild();
    bringToFront();
    scheduleAutoDismiss(12.0);
}

void QuickActionPanelController::showResult(const QuickActionTransformResult& result, QuickActionID action,
                                            const QuickActionSelection& selection) {
    autoDismissWork_.cancel();
    collapseWork_.cancel();
    if (window_) window_->hide();
    state_ = State::hidden;
    selection_.reset();
    lastSelection_ = selection;
    setEscapeGrab(false);

    CloudResultRequest request;
    request.title = QuickReplyCoordinator::normalizedDisplayTitle(result.actionTitle, QuickActionIDs::title(action));
    request.meta = selection.isEditable
                       ? selection.appName
                       : L(QStringLiteral("result.meta.readonly"), QStringLiteral("%1$@ · исходник не изменится"),
                           {selection.appName});
    request.text = result.text;
    request.warning = result.warning;
    request.needsConfirmation = result.needsConfirmation;
    request.primaryTitle = selection.isEditable
                               ? L(QStringLiteral("result.replace"), QStringLiteral("Заменить"))
                               : L(QStringLiteral("result.copyResult"), QStringLiteral("Скопировать результат"));
    request.showsSecondaryCopy = selection.isEditable;
    request.showsPrimaryAction = true;
    request.compact = action == QuickActionID::translate;
    request.historyTitle = result.actionTitle;
    QuickActionsController* owner = controller_;
    request.onPrimary = [owner, result, selection](const QString& text) {
        QuickActionTransformResult r = result;
        r.text = text;
        if (owner) owner->applyResult(r, selection);
    };
    request.onCopy = [owner, selection](const QString& text) {
        if (owner) owner->copyResult(text, selection);
    };
    request.onCancel = [] {};
    CloudResultWindow::shared().show(request);
}

QList<QuickActionID> QuickActionPanelController::moreCandidates(bool isEditable, const QList<QuickActionID>& onBar) {
    const QList<QuickActionID> all =
        isEditable ? QList<QuickActionID>{QuickActionID::improve, QuickActionID::translate, QuickActionID::shorter,
                                          QuickActionID::business, QuickActionID::friendly, QuickActionID::naturalEnglish}
                   : QList<QuickActionID>{QuickActionID::translate, QuickActionID::summarize, QuickActionID::explain,
                                          QuickActionID::reply};
    QList<QuickActionID> out;
    for (QuickActionID a : all)
        if (!onBar.contains(a)) out << a;
    return out;
}

void QuickActionPanelController::showMoreMenu(const QuickActionSelection& selection) {
    if (!window_) return;
    menu_ = std::make_unique<QMenu>();
    for (QuickActionID a : moreCandidates(selection.isEditable, actions_)) {
        QAction* item = menu_->addAction(QuickActionIDs::title(a));
        const QString raw = QuickActionIDs::rawValue(a);
        item->setData(raw);
        QObject::connect(item, &QAction::triggered, item, [this, raw] { moreAction(raw); });
    }
    menu_->addSeparator();
    QObject::connect(menu_->addAction(L(QStringLiteral("quickActions.aiSettings"), QStringLiteral("Настройки AI…"))),
                     &QAction::triggered, menu_.get(), [this] { openSettings(); });
    QObject::connect(menu_->addAction(QStringLiteral("Не показывать в ") + selection.appName), &QAction::triggered,
                     menu_.get(), [this] { disableCurrentApp(); });
    const QPointF at = Screens::shared().toNative(QRectF(frame_.right() - 12, frame_.top() + 4, 0, 0)).topLeft();
    menu_->popup(at.toPoint());
}

void QuickActionPanelController::perform(QuickActionID action) {
    if (!selection_ || !controller_) return;
    controller().perform(action, *selection_);
}

void QuickActionPanelController::moreAction(const QString& rawValue) {
    const std::optional<QuickActionID> action = QuickActionIDs::fromRawValue(rawValue);
    if (!action || !selection_ || !controller_) return;
    controller().perform(*action, *selection_);
}

void QuickActionPanelController::openSettings() {
    if (controller_) controller().openAISettings();
}

void QuickActionPanelController::disableCurrentApp() {
    if (!selection_ || !controller_) return;
    controller().disable(selection_->bundleID);
}

void QuickActionPanelController::closePanel() {
    if (controller_) controller().dismiss();
}

void QuickActionPanelController::expand() {
    if (state_ != State::collapsed) return;
    autoDismissWork_.cancel();
    state_ = State::actions;
    rebuild();
    scheduleAutoDismiss(12.0);
}

void QuickActionPanelController::toggleExpanded() {
    if (state_ == State::actions) {
        state_ = State::collapsed;
        rebuild();
        scheduleAutoDismiss(6.0);
    } else if (state_ == State::collapsed) {
        autoDismissWork_.cancel();
        state_ = State::actions;
        rebuild();
        scheduleAutoDismiss(12.0);
    }
}

void QuickActionPanelController::scheduleCollapse() {
    if (state_ != State::actions) return;
    collapseWork_.cancel();
    std::weak_ptr<int> alive = alive_;
    collapseWork_ = MainQueue::shared().after(0.52, [this, alive] {
        if (alive.expired() || state_ != State::actions) return;
        if (contains(Screens::shared().mouseLocation(), 8)) {
            collapseWork_.reset();
            return;
        }
        state_ = State::collapsed;
        rebuild();
        scheduleAutoDismiss(6.0);
    });
}

void QuickActionPanelController::cancelCollapse() {
    collapseWork_.cancel();
    collapseWork_.reset();
}

}  // namespace murmelo
