#include "layout/LayoutExceptionCard.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "platform/Service.h"
#include "ui/Water.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <cmath>

namespace murmelo {

// ---- The body

LayoutExceptionCardBody::LayoutExceptionCardBody(const QString& text, bool dark)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint),
      text_(text),
      dark_(dark) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFont(F::sec());
}

QSize LayoutExceptionCardBody::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double width = std::max(minWidth, std::ceil(metrics.horizontalAdvance(text_)) + 2 * padX);
    const double height = std::ceil(metrics.height()) + 2 * padY;
    return QSize(int(width), int(height));
}

void LayoutExceptionCardBody::paintEvent(QPaintEvent*) {
    const Water w{dark_, false};
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), cornerRadius, cornerRadius);
    p.save();
    p.setClipPath(outline);
    paintWaterCard(p, rect(), w, waterLightScale(size()));
    p.restore();
    p.setPen(QPen(w.line(), 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    p.setPen(w.ink());
    p.setFont(font());
    const QRectF textRect = QRectF(rect()).adjusted(padX, padY, -padX, -padY);
    const Qt::Alignment leading = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    p.drawText(textRect, leading | Qt::AlignVCenter, text_);
}

// ---- The controller

bool LayoutExceptionCardController::isEnabled() {
    const std::optional<QVariant> v = Defaults::shared().object(ENABLED_KEY);
    if (v && v->typeId() == QMetaType::Bool) return v->toBool();
    return true;
}

QString LayoutExceptionCardController::text(const QString& word, Change change) {
    const QVariantList args{word};
    if (change == Change::added)
        return L(QStringLiteral("layout.exception.added"), QStringLiteral("«%1$@» — в исключениях"), args);
    return L(QStringLiteral("layout.exception.removed"), QStringLiteral("«%1$@» — убрано из исключений"), args);
}

QPointF LayoutExceptionCardController::cardOrigin(const std::optional<QRectF>& visibleFrame, const QSizeF& size) {
    if (!visibleFrame) return {0, 0};
    return {visibleFrame->right() - size.width() - 16, visibleFrame->top() + 16};
}

LayoutExceptionCardController::~LayoutExceptionCardController() { hide(); }

LayoutExceptionCardController& LayoutExceptionCardController::shared() {
    if (auto* c = installedService<LayoutExceptionCardController>()) return *c;
    static auto* controller = new LayoutExceptionCardController;  // lives for the process
    return *controller;
}

void LayoutExceptionCardController::install(LayoutExceptionCardController* controller) {
    installService<LayoutExceptionCardController>(controller);
}

void LayoutExceptionCardController::show(const QString& word, Change change) {
    if (!isEnabled()) return;
    std::weak_ptr<bool> alive = alive_;
    MainQueue::shared().post([this, alive, word, change] {
        if (!alive.expired()) build(word, change);
    });
}

void LayoutExceptionCardController::build(const QString& word, Change change) {
    hide();
    const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    auto panel = std::make_unique<LayoutExceptionCardBody>(text(word, change), dark);
    RTL::apply(panel.get());
    const QSize size = panel->sizeHint();

    // Placement in the bottom-left-origin model, converted once at Qt's edge.
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    QPoint topLeft(0, 0);
    if (screen) {
        const QRect avail = screen->availableGeometry();
        const double flipBase = avail.top() + avail.bottom() + 1;  // y' = base - y mirrors within the screen
        const QRectF visibleModel(avail.left(), flipBase - (avail.top() + avail.height()), avail.width(), avail.height());
        const QPointF o = cardOrigin(visibleModel, size);
        topLeft = QPoint(int(o.x()), int(flipBase - o.y() - size.height()));
    }
    panel->setGeometry(QRect(topLeft, size));
    panel->show();
    panel_ = std::move(panel);
    ++shown_;

    std::weak_ptr<bool> alive = alive_;
    hideWork_ = MainQueue::shared().after(lifetime, [this, alive] {
        if (!alive.expired()) hide();
    });
    logLine(QStringLiteral("layout/exception-card: ") +
            (change == Change::added ? QStringLiteral("добавлено") : QStringLiteral("убрано")) + QLatin1Char(' ') +
            priv(word));
}

void LayoutExceptionCardController::hide() {
    hideWork_.cancel();
    hideWork_.reset();
    if (panel_) {
        panel_->hide();
        panel_.reset();
    }
}

}  // namespace murmelo
