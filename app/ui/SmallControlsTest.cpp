#include "ui/SmallControls.h"

#include <QApplication>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const Water lightPanel{false, false}, lightSettings{false, true}, darkPanel{true, false};

// The control alone, on a transparent image: what it paints and nothing behind it.
QImage render(QWidget& w) {
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

void click(QWidget& w, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w.mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    QApplication::sendEvent(&w, &release);
}

void hover(QWidget& w, bool in) {
    if (in) {
        QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&w, &e);
    } else {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(&w, &e);
    }
}

TEST(SwTest, SizesKnobPlaceAndShadowByVariant) {
    struct Case { Water w; bool on; QSizeF track; QRectF knob; double shadow; };
    const Case cases[] = {
        {lightSettings, true, {38, 22}, {19, 3, 16, 16}, 0.34},
        {lightSettings, false, {38, 22}, {3, 3, 16, 16}, 0.34},
        {lightPanel, true, {28, 16}, {14, 2, 12, 12}, 0},
        {lightPanel, false, {28, 16}, {2, 2, 12, 12}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.w.settings ? "settings" : "panel") + (c.on ? " on" : " off"));
        const SwModel m{c.on, c.w};
        EXPECT_EQ(m.trackSize(), c.track);
        EXPECT_EQ(m.knobFrame(), c.knob);
        EXPECT_EQ(m.shadowOpacity(), c.shadow);
        EXPECT_EQ(m.trackColor(), c.on ? c.w.acc() : c.w.swOff());
    }
}

TEST(SwTest, RendersTrackAndKnobWhereTheModelSays) {
    Sw on(true, lightSettings);
    ASSERT_EQ(on.size(), QSize(38, 22));
    QImage img = render(on);
    ASSERT_EQ(img.size(), QSize(38, 22));
    // The track's fill shows between the knob and the leading end; the knob is at the
    // trailing end and white.
    EXPECT_EQ(img.pixelColor(8, 11).rgba(), lightSettings.acc().rgba());
    EXPECT_EQ(img.pixelColor(27, 11).rgba(), QColor(Qt::white).rgba());
    EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);  // outside the capsule
    EXPECT_EQ(img.pixelColor(37, 21).alpha(), 0);

    Sw off(false, darkPanel);
    ASSERT_EQ(off.size(), QSize(28, 16));
    img = render(off);
    EXPECT_EQ(img.pixelColor(8, 8).rgba(), darkPanel.knob().rgba());
    const QColor track = img.pixelColor(22, 8);
    EXPECT_NEAR(track.alphaF(), darkPanel.swOff().alphaF(), 0.01);
}

TEST(CapTest, BoldCaptionInTheStrongCaptionColour) {
    Cap cap("Раздел", lightSettings);
    EXPECT_EQ(cap.model.font(), F::bold());
    EXPECT_EQ(cap.model.color(), lightSettings.capStrong());
    cap.resize(cap.sizeHint());
    const QImage img = render(cap);
    EXPECT_EQ(img.size(), cap.sizeHint());
    bool inked = false;
    for (int y = 0; y < img.height() && !inked; ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y).alpha() == 255 && img.pixelColor(x, y).rgb() == lightSettings.capStrong().rgb()) {
                inked = true;
                break;
            }
    EXPECT_TRUE(inked);
}

TEST(HoverRowTest, TheWholeRowHoversAndClicks) {
    int clicks = 0;
    HoverRow row(darkPanel, [&] { ++clicks; });
    row.content()->addWidget(new QLabel("x"));
    row.resize(240, 31);
    EXPECT_EQ(row.height(), 31);
    EXPECT_EQ(render(row).pixelColor(200, 15).alpha(), 0);

    hover(row, true);
    EXPECT_TRUE(row.model.over);
    const QColor fill = render(row).pixelColor(200, 15);  // far right of the narrow content
    EXPECT_NEAR(fill.alphaF(), 0.13, 0.01);
    EXPECT_EQ(render(row).pixelColor(0, 0).alpha(), 0);  // rounded corner
    click(row, {230, 28});
    EXPECT_EQ(clicks, 1);
    hover(row, false);
    EXPECT_FALSE(row.model.over);
    EXPECT_EQ(render(row).pixelColor(200, 15).alpha(), 0);
}

TEST(TogRowTest, LayoutGivesWayHintFirst) {
    TogRowModel m{"mic", "Имя", "", true, lightPanel, {}};
    auto l = m.layout(300, 50, 0);
    EXPECT_FALSE(l.showsHint);
    EXPECT_EQ(l.icon, QRectF(6, 0, 14, 29));
    EXPECT_EQ(l.name, QRectF(29, 0, 50, 29));
    EXPECT_EQ(l.sw, QRectF(300 - 6 - 28, 6.5, 28, 16));

    m.hint = "подсказка";
    // Room for text: 300 - 12 - 14 - 28 - 4 - 4 x 9 = 206.
    l = m.layout(300, 50, 100);
    EXPECT_EQ(l.name.width(), 50);
    EXPECT_EQ(l.hint, QRectF(88, 0, 100, 29));
    l = m.layout(300, 150, 100);
    EXPECT_EQ(l.name.width(), 150);
    EXPECT_EQ(l.hint.width(), 56);
    l = m.layout(300, 250, 100);
    EXPECT_EQ(l.name.width(), 206);
    EXPECT_EQ(l.hint.width(), 0);
}

TEST(TogRowTest, RendersTheSwitchAndHovers) {
    int clicks = 0;
    TogRow row("mic", "Микрофон", "встроенный", true, lightSettings, [&] { ++clicks; });
    row.resize(320, 29);
    QImage img = render(row);
    ASSERT_EQ(img.size(), QSize(320, 29));
    EXPECT_EQ(img.pixelColor(320 - 6 - 30, 14).rgba(), lightSettings.acc().rgba());  // the track
    EXPECT_EQ(img.pixelColor(200, 2).alpha(), 0);
    hover(row, true);
    img = render(row);
    EXPECT_NEAR(img.pixelColor(200, 2).alphaF(), 0.05, 0.01);
    click(row, {2, 2});
    EXPECT_EQ(clicks, 1);
}

}  // namespace
