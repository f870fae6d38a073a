#include "ui/OrbShape.h"

#include <QPainter>
#include <QRadialGradient>
#include <cmath>
#include <vector>

namespace murmelo {

namespace OrbShape {

QPainterPath catmullClosed(const QList<QPointF>& p) {
    QPainterPath path;
    const qsizetype n = p.size();
    if (n == 0) return path;
    auto at = [&](qsizetype i) { return p[((i % n) + n) % n]; };
    path.moveTo(p[0]);
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF c1 = at(i) + (at(i + 1) - at(i - 1)) / 6.0;
        const QPointF c2 = at(i + 1) - (at(i + 2) - at(i)) / 6.0;
        path.cubicTo(c1, c2, at(i + 1));
    }
    path.closeSubpath();
    return path;
}

QPainterPath path(QPointF center, double R, double t, double lv) {
    QList<QPointF> points;
    points.reserve(N);
    for (int i = 0; i < N; ++i) {
        const double a = double(i) / N * 2 * M_PI;
        const double wobble = 0.1 * std::sin(3 * a + 1.3 * t) + 0.06 * std::sin(5 * a - 1.7 * t) +
                              0.035 * std::sin(7 * a + 2.1 * t);
        const double spike = std::pow(std::abs(std::sin(4 * a + 2.4 * t)), 3);
        const double r = R * (1 + (0.5 + 0.7 * lv) * wobble + spikeHeight * lv * spike);
        points << QPointF(center.x() + std::cos(a) * r, center.y() + std::sin(a) * r);
    }
    return catmullClosed(points);
}

QList<QPointF> barPoints(QPointF c, double R) {
    QList<QPointF> points;
    points.reserve(40);
    for (int i = 0; i < 40; ++i) {
        const double a = double(i) / 40 * 2 * M_PI;
        const double r = R * (1 + 0.07 * std::sin(3 * a + 0.6) + 0.045 * std::sin(5 * a - 0.3));
        points << QPointF(c.x() + std::cos(a) * r, c.y() + std::sin(a) * r);
    }
    return points;
}

}  // namespace OrbShape

namespace OrbColors {
QColor purple() { return QColor::fromRgbF(0.686f, 0.322f, 0.871f); }
QColor orange() { return QColor::fromRgbF(1.0f, 0.584f, 0.0f); }
QColor red() { return QColor::fromRgbF(1.0f, 0.231f, 0.188f); }
}  // namespace OrbColors

namespace {

// A Gaussian-like blur (three box passes each way) of a premultiplied image.
void blur(QImage& img, double sigma) {
    if (sigma <= 0) return;
    const int w = img.width(), h = img.height();
    const int r = std::max(1, int(std::lround(sigma * 0.93)));  // three boxes of 2r+1 ≈ sigma
    std::vector<int> src(size_t(w) * h * 4), dst(src.size());
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            int* px = &src[(size_t(y) * w + x) * 4];
            px[0] = qAlpha(line[x]); px[1] = qRed(line[x]); px[2] = qGreen(line[x]); px[3] = qBlue(line[x]);
        }
    }
    auto pass = [&](bool horizontal) {
        const int len = horizontal ? w : h, lines = horizontal ? h : w;
        for (int l = 0; l < lines; ++l)
            for (int i = 0; i < len; ++i)
                for (int ch = 0; ch < 4; ++ch) {
                    int sum = 0;
                    for (int k = -r; k <= r; ++k) {
                        const int j = i + k;
                        if (j < 0 || j >= len) continue;
                        const size_t idx = horizontal ? size_t(l) * w + j : size_t(j) * w + l;
                        sum += src[idx * 4 + ch];
                    }
                    const size_t out = horizontal ? size_t(l) * w + i : size_t(i) * w + l;
                    dst[out * 4 + ch] = sum / (2 * r + 1);
                }
        src.swap(dst);
    };
    for (int k = 0; k < 3; ++k) { pass(true); pass(false); }
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int* px = &src[(size_t(y) * w + x) * 4];
            line[x] = qRgba(px[1], px[2], px[3], px[0]);
        }
    }
}

// Paints a soft shadow of the path (offset 0) under what follows.
void shadow(QPainter& p, const QImage& target, const QTransform& toDevice, const QPainterPath& path,
            QColor color, double blurPoints, double scale) {
    QImage layer(target.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setTransform(toDevice);
        lp.fillPath(path, color);
    }
    // The platform's shadow blur is about twice the Gaussian's deviation.
    blur(layer, blurPoints / 2.0 * scale);
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, layer);
    p.restore();
}

}  // namespace

QImage orbBarIcon(const OrbIconMode& mode, double scale, bool darkBar) {
    const int px = int(std::lround(ORB_ICON_SIZE * scale));
    QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // The drawing is in points with y up, as the orb is described; flipped once here.
    QTransform toDevice;
    toDevice.scale(scale, -scale);
    toDevice.translate(0, -ORB_ICON_SIZE);
    p.setTransform(toDevice);

    const QRectF box(2.5, 2.5, ORB_ICON_SIZE - 5, ORB_ICON_SIZE - 5);
    const QPointF c = box.center();
    const double R = std::min(box.width(), box.height()) / 2;
    QPainterPath orb = OrbShape::catmullClosed(OrbShape::barPoints(c, R));
    orb.setFillRule(Qt::WindingFill);

    switch (mode.kind) {
    case OrbIconMode::Kind::templateImage:
        p.fillPath(orb, darkBar ? Qt::white : Qt::black);
        break;
    case OrbIconMode::Kind::solid: {
        QColor glow = mode.color;
        glow.setAlphaF(0.7f);
        shadow(p, img, toDevice, orb, glow, 3.0, scale);
        p.fillPath(orb, mode.color);
        break;
    }
    case OrbIconMode::Kind::chrome: {
        shadow(p, img, toDevice, orb, QColor::fromRgbF(0.42f, 0.5f, 1.0f, 0.9f), 3.5, scale);
        p.fillPath(orb, QColor::fromRgbF(0.4f, 0.46f, 0.95f));
        p.save();
        p.setClipPath(orb);
        const QPointF focal(c.x() - 0.12 * box.width(), c.y() + 0.14 * box.height());
        QRadialGradient g(c, 0.62 * box.width(), focal);
        g.setColorAt(0, QColor::fromRgbF(0.75f, 0.79f, 1.0f));
        g.setColorAt(0.55, QColor::fromRgbF(0.35f, 0.42f, 0.9f));
        g.setColorAt(1, QColor::fromRgbF(0.1f, 0.13f, 0.35f));
        g.setSpread(QGradient::PadSpread);
        p.fillRect(box.adjusted(-3, -3, 3, 3), g);
        p.restore();
        break;
    }
    }
    p.end();
    return img;
}

}  // namespace murmelo
