#pragma once
#include <QColor>
#include <QFont>
#include <QList>
#include <QSizeF>
#include <QWidget>
#include <optional>

class QPainter;

namespace murmelo {

// The text colours, by appearance.
struct OndrixTextPalette {
    bool dark = false;

    QColor strong() const;
    QColor reading() const;
    QColor interfacePrimary() const;
    QColor secondary() const;
    QColor tertiary() const;
    QColor action() const;
};

// The colour roles of the interface: light or dark appearance, settings window or panel.
// All colours are fixed sRGB values; nothing is cached per value.
struct Water {
    bool dark = false;
    bool settings = false;

    QColor ink() const;
    QColor dim() const;
    QColor cap() const;
    QColor capStrong() const;
    QColor quickHeading() const;
    QColor quickText() const;
    QColor quickMetadata() const;
    QColor quickTertiary() const;
    QColor acc() const;
    QColor warn() const;
    QColor teal() const;
    QColor sky() const;
    QColor line() const;
    QColor fill() const;
    QColor hover() const;
    QColor prefsSidebarSelected() const;
    QColor prefsSidebarSelectedLine() const;
    QColor prefsSidebarHover() const;
    QColor prefsSidebarGlow() const;
    QColor prefsSidebarSeam() const;
    QColor prefsContentGlow() const;
    QColor swOff() const;
    QColor knob() const;
    QColor knobOn() const;
    QColor edge() const;

    // Three colours, top to bottom.
    QList<QColor> body() const;
    QList<QColor> prefsSidebarBody() const;
    QList<QColor> prefsContentBody() const;

    // The opacity of the card's sky glow.
    double skyPower() const { return dark ? 0.55 : 0.26; }
    OndrixTextPalette textPalette() const { return {dark}; }

    // The same in every variant.
    static const QColor& warm();
    static const QColor& band();
    static const QColor& meniscus();
    static const QColor& notice();
    static const QList<QColor>& lens();
};

// sRGB colour from fractions.
QColor srgb(double r, double g, double b, double a = 1.0);

// The named fonts. "System" is the desktop's interface font; sizes are in points of the
// interface's geometry (one point is one logical pixel).
namespace F {
// The display face (Debian's fonts-inter).
inline constexpr const char* displayFamily = "Inter";
// A font of the given size in points and weight (no weight: the family's default).
QFont make(const QString& family, double points, std::optional<QFont::Weight> weight = std::nullopt);
QFont system(double points, std::optional<QFont::Weight> weight = std::nullopt);

const QFont& name();
const QFont& section();
const QFont& bold();
const QFont& text();
const QFont& sec();
const QFont& small();
const QFont& readingTitle();
const QFont& readingBody();
const QFont& quickBrand();
const QFont& quickSection();
const QFont& quickRow();
const QFont& quickLink();
const QFont& quickRecord();
const QFont& quickMeta();
const QFont& quickShortcut();
const QFont& quickHint();
const QFont& quickFooter();
const QFont& quickIcon();
const QFont& quickKeycap();
const QFont& onboardingHero();
const QFont& onboardingHeroCompact();
const QFont& onboardingBrand();
const QFont& onboardingCommandKey();
const QFont& prefsTitle();
const QFont& statsBody();
const QFont& statsTitle();
const QFont& statsMetric();
const QFont& statsEmphasis();
const QFont& statsValue();
const QFont& statsHeadline();
const QFont& shareBrand();
const QFont& shareEyebrow();
const QFont& shareTime();
const QFont& shareValue();
const QFont& keyGlyph();
const QFont& keyWord();
}  // namespace F

// Layout metrics of the quick panel, in points.
namespace QuickPanelMetrics {
inline constexpr double rowHeight = 31;
inline constexpr double settingsRowHeight = 38;
inline constexpr double cardVerticalPadding = 9;
inline constexpr double cardGap = 8;
inline constexpr double sectionHeaderGap = 4;
inline constexpr double shortcutPadding = 6;
inline constexpr double shortcutMinHeight = 37;
inline constexpr double savedTimeMinHeight = 27;
inline constexpr double settingsCardVerticalPadding = 10;
inline constexpr double settingsCardGap = 10;
inline constexpr double settingsOverlayPadding = 10;
inline constexpr double settingsCTAHeight = 38;
inline constexpr double footerMinHeight = 43;
}  // namespace QuickPanelMetrics

// The reference diagonal of a window for the card's light.
inline constexpr double WATER_REF_DIAGONAL = 789.6;
// The light scale of a surface: its diagonal over the reference, at most 1.
double waterLightScale(const QSizeF& size);

// Paints the water card surface into rect (body gradient, warm and sky glows).
void paintWaterCard(QPainter& painter, const QRectF& rect, const Water& w, double lightScale);

// A view filled with the water card surface; content goes on top of it.
class WaterCard : public QWidget {
public:
    WaterCard(const Water& w, double lightScale, QWidget* parent = nullptr);
    // Follows the view's own size (waterLightScale of it) instead of a fixed scale.
    static WaterCard* sized(const Water& w, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Water w_;
    double lightScale_;
    bool followsSize_ = false;
};

// The water card surface of w's appearance with glows sized by lightScale.
WaterCard* waterCard(const Water& w, double lightScale, QWidget* parent = nullptr);

}  // namespace murmelo
