#include "ui/OrbLogo.h"

#include "ui/Blur.h"
#include "ui/WindowVisibility.h"

#include <QConicalGradient>
#include <QEasingCurve>
#include <QPainter>
#include <QRadialGradient>
#include <QVariantAnimation>
#include <QWindow>

namespace murmelo {

namespace {
constexpr double REST_SCALE = 0.97, FULL_SCALE = 1.06;
constexpr int BREATH_MS = 1600, TURN_MS = 6000;

// The platform's standard cyan, blue, purple and pink.
const QColor CYAN = QColor::fromRgbF(0.196f, 0.678f, 0.902f);
const QColor BLUE = QColor::fromRgbF(0.0f, 0.478f, 1.0f);
const QColor PURPLE = QColor::fromRgbF(0.686f, 0.322f, 0.871f);
const QColor PINK = QColor::fromRgbF(1.0f, 0.176f, 0.333f);

// Ease in and out, as the views' default curve.
QEasingCurve easeInOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}
}  // namespace

OrbLogo::OrbLogo(double size, bool animated, QWidget* parent) : QWidget(parent), size_(size), animated_(animated) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(sizeHint());
    // Without animation there is nothing to watch: no probe, never moving.
    if (animated_) probe_ = new WindowVisibility([this](bool visible) { setRunning(visible); }, this);
}

OrbLogo::~OrbLogo() = default;

QSize OrbLogo::sizeHint() const { return QSize(qRound(size_), qRound(size_)); }

void OrbLogo::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (probe_ && window()->windowHandle()) probe_->attach(window()->windowHandle());
}

void OrbLogo::setRunning(bool running) {
    const bool wasMoving = animated_ && running_;
    running_ = running;
    if ((animated_ && running_) != wasMoving) rebuildBody();
}

void OrbLogo::rebuildBody() {
    pulse_.reset();
    spin_.reset();
    if (animated_ && running_) {
        // One breath there and back, 1.6 s each way: the progress runs evenly and coreScale()
        // eases each half.
        pulse_ = std::make_unique<QVariantAnimation>();
        pulse_->setStartValue(0.0);
        pulse_->setEndValue(1.0);
        pulse_->setDuration(2 * BREATH_MS);
        pulse_->setLoopCount(-1);
        QObject::connect(pulse_.get(), &QVariantAnimation::valueChanged, this, [this] { update(); });
        spin_ = std::make_unique<QVariantAnimation>();
        spin_->setStartValue(0.0);
        spin_->setEndValue(360.0);
        spin_->setDuration(TURN_MS);
        spin_->setLoopCount(-1);
        QObject::connect(spin_.get(), &QVariantAnimation::valueChanged, this, [this] { update(); });
        pulse_->start();
        spin_->start();
    }
    update();
}

double OrbLogo::coreScale() const {
    if (!pulse_) return REST_SCALE;
    // The progress through one breath there and back, eased on each half.
    static const QEasingCurve ease = easeInOut();
    const double p = pulse_->currentValue().toDouble();
    const double half = p < 0.5 ? 2 * p : 2 - 2 * p;
    return REST_SCALE + (FULL_SCALE - REST_SCALE) * ease.valueForProgress(half);
}

double OrbLogo::ringDegrees() const { return spin_ ? spin_->currentValue().toDouble() : 0; }

const QImage& OrbLogo::ring(double ratio) {
    if (!ring_.isNull() && ring_.devicePixelRatio() == ratio) return ring_;
    // Drawn once and blurred; every frame only turns it.
    const int side = qRound(size_ * ratio);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const double d = side * 72.0 / 84;
        QConicalGradient g(QPointF(side / 2.0, side / 2.0), 0);
        // The angle runs clockwise on screen, as the views' angular gradient.
        for (auto [at, colour] : {std::pair{0.0, CYAN}, std::pair{0.25, BLUE}, std::pair{0.5, PURPLE},
                                  std::pair{0.75, PINK}, std::pair{1.0, CYAN}})
            g.setColorAt(1 - at, colour);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(QPointF(side / 2.0, side / 2.0), d / 2, d / 2);
    }
    ring_ = Blur::blurred(image, size_ * 9.0 / 84 * ratio);
    ring_.setDevicePixelRatio(ratio);
    return ring_;
}

void OrbLogo::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF c(size_ / 2, size_ / 2);
    const QImage& ringImage = ring(devicePixelRatioF());
    p.save();
    p.setOpacity(0.55);
    p.translate(c);
    p.rotate(ringDegrees());
    p.translate(-c);
    p.drawImage(QRectF(0, 0, size_, size_), ringImage);
    p.restore();

    const double k = size_ / 84;
    const double s = coreScale();
    p.translate(c);
    p.scale(s, s);
    p.translate(-c);
    const double r = 32 * k;
    const QRectF core(c.x() - r, c.y() - r, 2 * r, 2 * r);
    // Centred at the unit point (0.36, 0.30) of the core's square, from 2 to 42 (of 84).
    const QPointF focus(core.left() + 0.36 * core.width(), core.top() + 0.30 * core.height());
    QRadialGradient g(focus, 42 * k, focus, 2 * k);
    g.setColorAt(0, QColor::fromRgbF(0.69f, 0.73f, 1.0f));
    g.setColorAt(0.5, QColor::fromRgbF(0.33f, 0.38f, 0.86f));
    g.setColorAt(1, QColor::fromRgbF(0.07f, 0.08f, 0.22f));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(core);
}

}  // namespace murmelo
