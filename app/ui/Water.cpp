#include "ui/Water.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QRadialGradient>
#include <QScreen>
#include <cmath>

namespace murmelo {

QColor srgb(double r, double g, double b, double a) { return QColor::fromRgbF(float(r), float(g), float(b), float(a)); }

namespace {

struct C {
    double r, g, b, a = 1.0;
    QColor q() const { return srgb(r, g, b, a); }
};
const C white{1, 1, 1};

// The role in the variant: light panel, dark panel, light settings, dark settings.
QColor pick(const Water& w, C lightPanel, C darkPanel, C lightSettings, C darkSettings) {
    if (w.settings) return (w.dark ? darkSettings : lightSettings).q();
    return (w.dark ? darkPanel : lightPanel).q();
}
// Roles whose settings variant is the panel's.
QColor pick(const Water& w, C light, C dark) { return (w.dark ? dark : light).q(); }

QList<QColor> three(bool dark, std::initializer_list<C> light, std::initializer_list<C> darkList) {
    QList<QColor> out;
    for (const C& c : dark ? darkList : light) out << c.q();
    return out;
}

}  // namespace

QColor OndrixTextPalette::strong() const { return (dark ? C{0.894, 0.925, 0.933} : C{0.063, 0.137, 0.173}).q(); }
QColor OndrixTextPalette::reading() const { return (dark ? C{0.796, 0.839, 0.851} : C{0.063, 0.141, 0.169}).q(); }
QColor OndrixTextPalette::interfacePrimary() const { return (dark ? C{0.839, 0.878, 0.886} : C{0.063, 0.137, 0.173}).q(); }
QColor OndrixTextPalette::secondary() const { return (dark ? C{0.596, 0.659, 0.678} : C{0.322, 0.404, 0.447}).q(); }
QColor OndrixTextPalette::tertiary() const { return (dark ? C{0.455, 0.522, 0.545} : C{0.357, 0.439, 0.478}).q(); }
QColor OndrixTextPalette::action() const { return (dark ? C{0.62, 0.686, 0.706} : C{0.302, 0.42, 0.455}).q(); }

QColor Water::ink() const { return pick(*this, {0.063, 0.141, 0.169}, {0.839, 0.886, 0.906}, {0.063, 0.137, 0.173}, {0.839, 0.878, 0.886}); }
QColor Water::dim() const { return pick(*this, {0.302, 0.42, 0.455}, {0.616, 0.698, 0.733}, {0.357, 0.439, 0.478}, {0.455, 0.522, 0.545}); }
QColor Water::cap() const { return pick(*this, {0.302, 0.42, 0.455}, {0.616, 0.698, 0.733}, {0.322, 0.404, 0.447}, {0.596, 0.659, 0.678}); }
QColor Water::capStrong() const { return pick(*this, {0.145, 0.263, 0.302}, {0.784, 0.847, 0.871}, {0.063, 0.137, 0.173}, {0.894, 0.925, 0.933}); }
QColor Water::quickHeading() const { return pick(*this, {0.145, 0.263, 0.302}, {0.761, 0.804, 0.82}, {0.063, 0.137, 0.173}, {0.761, 0.804, 0.82}); }
QColor Water::quickText() const { return pick(*this, {0.063, 0.141, 0.169}, {0.714, 0.757, 0.773}, {0.063, 0.137, 0.173}, {0.714, 0.757, 0.773}); }
QColor Water::quickMetadata() const { return pick(*this, {0.302, 0.42, 0.455}, {0.537, 0.592, 0.612}, {0.322, 0.404, 0.447}, {0.537, 0.592, 0.612}); }
QColor Water::quickTertiary() const { return pick(*this, {0.302, 0.42, 0.455}, {0.455, 0.522, 0.545}, {0.357, 0.439, 0.478}, {0.455, 0.522, 0.545}); }
QColor Water::acc() const { return pick(*this, {0.059, 0.561, 0.533}, {0.435, 0.835, 0.816}, {0.122, 0.667, 0.639}, {0.412, 0.851, 0.824}); }
QColor Water::warn() const { return pick(*this, {0.722, 0.337, 0.047}, {1, 0.698, 0.478}, {0.718, 0.376, 0.153}, {0.914, 0.635, 0.388}); }
QColor Water::teal() const { return pick(*this, {0.173, 0.49, 0.573}, {0.388, 0.682, 0.82}); }
QColor Water::sky() const { return pick(*this, {0.478, 0.612, 0.792}, {0.18, 0.294, 0.522}); }
QColor Water::line() const { return pick(*this, {0.071, 0.251, 0.29, 0.12}, {0.471, 0.745, 0.804, 0.1}, {0.125, 0.267, 0.325, 0.15}, {0.588, 0.784, 0.843, 0.12}); }
QColor Water::fill() const { return pick(*this, {0.071, 0.251, 0.29, 0.045}, {1, 1, 1, 0.038}, {0.047, 0.145, 0.188, 0.052}, {0.769, 0.894, 0.941, 0.045}); }
QColor Water::hover() const {
    QColor c = acc();
    c.setAlphaF(0.13f);
    return c;
}
QColor Water::prefsSidebarSelected() const { return pick(*this, {0.122, 0.667, 0.639, 0.115}, {0.412, 0.851, 0.824, 0.115}); }
QColor Water::prefsSidebarSelectedLine() const { return pick(*this, {0.122, 0.667, 0.639, 0.19}, {0.412, 0.851, 0.824, 0.18}); }
QColor Water::prefsSidebarHover() const { return pick(*this, {0.125, 0.267, 0.325, 0.065}, {0.588, 0.784, 0.843, 0.065}); }
QColor Water::prefsSidebarGlow() const { return pick(*this, {1, 1, 1, 0.9}, {0.176, 0.388, 0.525, 0.09}); }
QColor Water::prefsSidebarSeam() const { return pick(*this, {0.929, 0.957, 0.965, 0.96}, {0.027, 0.067, 0.098, 0.96}); }
QColor Water::prefsContentGlow() const { return pick(*this, {0.369, 0.604, 0.702, 0.13}, {0.216, 0.357, 0.561, 0.15}); }
QColor Water::swOff() const { return pick(*this, {0.071, 0.251, 0.29, 0.22}, {0.627, 0.745, 0.784, 0.2}, {0.718, 0.773, 0.792}, {0.204, 0.263, 0.302}); }
QColor Water::knob() const { return pick(*this, white, {0.875, 0.914, 0.933}, white, {0.859, 0.898, 0.914}); }
QColor Water::knobOn() const { return pick(*this, white, {0.024, 0.075, 0.102}, white, {0.035, 0.129, 0.165}); }
QColor Water::edge() const { return pick(*this, {0.071, 0.251, 0.29, 0.18}, {0.588, 0.784, 0.843, 0.16}, {0.125, 0.267, 0.325, 0.24}, {0.588, 0.784, 0.843, 0.19}); }

QList<QColor> Water::body() const {
    return three(dark, {{0.988, 0.992, 0.996}, {0.925, 0.965, 0.969}, {0.878, 0.941, 0.945}},
                 {{0.016, 0.024, 0.051}, {0.027, 0.067, 0.094}, {0.039, 0.098, 0.122}});
}
QList<QColor> Water::prefsSidebarBody() const {
    return three(dark, {{0.941, 0.965, 0.969}, {0.929, 0.957, 0.965}, {0.918, 0.949, 0.957}},
                 {{0.02, 0.043, 0.063}, {0.027, 0.067, 0.098}, {0.035, 0.086, 0.125}});
}
QList<QColor> Water::prefsContentBody() const {
    return three(dark, {{0.929, 0.957, 0.965}, {0.918, 0.949, 0.957}, {0.906, 0.937, 0.949}},
                 {{0.031, 0.075, 0.11}, {0.039, 0.09, 0.133}, {0.047, 0.098, 0.149}});
}

const QColor& Water::warm() { static const QColor c = srgb(1, 0.58, 0.2); return c; }
const QColor& Water::band() { static const QColor c = srgb(0, 0, 0); return c; }
const QColor& Water::meniscus() { static const QColor c = srgb(0.769, 0.894, 0.941); return c; }
const QColor& Water::notice() { static const QColor c = srgb(1, 0.667, 0.337); return c; }
const QList<QColor>& Water::lens() {
    static const QList<QColor> l{srgb(0.016, 0.024, 0.051), srgb(0.031, 0.125, 0.165), srgb(0.055, 0.184, 0.224)};
    return l;
}

namespace F {

QFont make(const QString& family, double points, std::optional<QFont::Weight> weight) {
    QFont f(family);
    // One point of the interface's geometry is one logical pixel.
    double dpi = 96.0;
    if (const QScreen* s = QGuiApplication::primaryScreen()) dpi = s->logicalDotsPerInchY();
    f.setPointSizeF(points * 72.0 / dpi);
    if (weight) f.setWeight(*weight);
    return f;
}

QFont system(double points, std::optional<QFont::Weight> weight) {
    return make(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(), points, weight);
}

#define MURMELO_FONT(fn, expr) \
    const QFont& fn() {        \
        static const QFont f = expr; \
        return f;              \
    }
MURMELO_FONT(name, system(17, QFont::DemiBold))
MURMELO_FONT(section, system(15))
MURMELO_FONT(bold, system(13, QFont::DemiBold))
MURMELO_FONT(text, system(13))
MURMELO_FONT(sec, system(12))
MURMELO_FONT(small, system(11))
MURMELO_FONT(readingTitle, system(14, QFont::DemiBold))
MURMELO_FONT(readingBody, system(14))
// The desktop has no rounded design of its face: the plain system face stands in.
MURMELO_FONT(quickBrand, system(20, QFont::DemiBold))
MURMELO_FONT(quickSection, system(16, QFont::DemiBold))
MURMELO_FONT(quickRow, system(15, QFont::Normal))
MURMELO_FONT(quickLink, system(14, QFont::Medium))
MURMELO_FONT(quickRecord, system(13, QFont::Medium))
MURMELO_FONT(quickMeta, system(13, QFont::Medium))
MURMELO_FONT(quickShortcut, system(12, QFont::Medium))
MURMELO_FONT(quickHint, system(11, QFont::Medium))
MURMELO_FONT(quickFooter, system(14, QFont::Medium))
MURMELO_FONT(quickIcon, system(13))
MURMELO_FONT(quickKeycap, system(15, QFont::Medium))
MURMELO_FONT(onboardingHero, make(displayFamily, 46, QFont::DemiBold))
MURMELO_FONT(onboardingHeroCompact, make(displayFamily, 42, QFont::DemiBold))
MURMELO_FONT(onboardingBrand, make(displayFamily, 17, QFont::DemiBold))
MURMELO_FONT(onboardingCommandKey, system(19, QFont::Medium))
MURMELO_FONT(prefsTitle, system(22, QFont::Bold))
MURMELO_FONT(statsBody, system(14))
MURMELO_FONT(statsTitle, system(19, QFont::Bold))
MURMELO_FONT(statsMetric, system(24, QFont::Bold))
MURMELO_FONT(statsEmphasis, system(32, QFont::Bold))
MURMELO_FONT(statsValue, system(50, QFont::Bold))
MURMELO_FONT(shareBrand, system(28, QFont::DemiBold))
MURMELO_FONT(shareEyebrow, system(18, QFont::DemiBold))
MURMELO_FONT(shareTime, system(72, QFont::Bold))
MURMELO_FONT(shareValue, system(30, QFont::Bold))
MURMELO_FONT(keyGlyph, system(30, QFont::Light))
MURMELO_FONT(keyWord, system(22, QFont::Light))
#undef MURMELO_FONT

const QFont& statsHeadline() { return statsTitle(); }

}  // namespace F

double waterLightScale(const QSizeF& size) {
    return std::min(1.0, std::sqrt(size.width() * size.width() + size.height() * size.height()) / WATER_REF_DIAGONAL);
}

void paintWaterCard(QPainter& p, const QRectF& r, const Water& w, double lightScale) {
    p.save();
    const QList<QColor> body = w.body();
    QLinearGradient base(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
    base.setColorAt(0, body[0]);
    base.setColorAt(0.58, body[1]);
    base.setColorAt(1, body[2]);
    p.fillRect(r, base);

    auto glow = [&](QPointF unit, QColor from, double radius) {
        if (radius <= 0) return;
        QColor to = from;
        to.setAlphaF(0);
        const QPointF centre(r.left() + unit.x() * r.width(), r.top() + unit.y() * r.height());
        QRadialGradient g(centre, radius);
        g.setColorAt(0, from);
        g.setColorAt(1, to);
        p.fillRect(r, g);
    };
    QColor warm = Water::warm();
    warm.setAlphaF(0.22f);
    glow({0.18, 1.08}, warm, lightScale * 240);
    QColor sky = w.sky();
    sky.setAlphaF(float(w.skyPower()));
    glow({0.88, 1.04}, sky, lightScale * 260);
    p.restore();
}

WaterCard::WaterCard(const Water& w, double lightScale, QWidget* parent)
    : QWidget(parent), w_(w), lightScale_(lightScale) {}

WaterCard* WaterCard::sized(const Water& w, QWidget* parent) {
    auto* card = new WaterCard(w, 1.0, parent);
    card->followsSize_ = true;
    return card;
}

void WaterCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintWaterCard(p, rect(), w_, followsSize_ ? waterLightScale(size()) : lightScale_);
}

WaterCard* waterCard(const Water& w, double lightScale, QWidget* parent) { return new WaterCard(w, lightScale, parent); }

}  // namespace murmelo
