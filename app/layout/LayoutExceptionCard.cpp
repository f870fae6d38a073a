#include "layout/LayoutExceptionCard.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "platform/Service.h"
#include "ui/FloatingCard.h"
#include "ui/Water.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <cmath>

namespace murmelo {

// ---- The body

LayoutExceptionCardBody::LayoutExceptionCardBody(const QString& text, bool dark)
    : text_(text), dark_(dark) {
    FloatingCard::setUpWindow(this, FloatingCard::Clicks::passThrough, Qt::X11BypassWindowManagerHint);
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
    FloatingCard::paintSurface(p, rect(), w, cornerRadius);
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
    return FloatingCard::origin(visibleFrame, size);
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
    panel->setGeometry(FloatingCard::placement(panel->sizeHint()));
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
