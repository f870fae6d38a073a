// The underline panel on a real X server: a click on the underlined word reaches the window
// below it, a click on the line reaches the underline.
#include "DesktopHarness.h"
#include "polish/PolishUnderline.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace murmelo;

namespace {

// Counts the button presses a widget receives.
class Presses : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) ++count;
        return false;
    }
};

void clickAt(Display* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}

TEST(DesktopPolishUnderline, ClicksOnTheWordPassThroughAndTheLineTakesItsOwn) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !QGuiApplication::primaryScreen())
        GTEST_SKIP() << "needs the test desktop";
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);

    // The application's window, and a word on it at (120, 110), 60 by 18.
    QWidget below(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    below.setGeometry(100, 100, 300, 60);
    Presses belowPresses;
    below.installEventFilter(&belowPresses);
    below.show();
    ASSERT_TRUE(test::waitUntil([&] { return below.isVisible() && below.windowHandle() && below.windowHandle()->isExposed(); }));

    PolishUnderline::MarkView line;
    Presses linePresses;
    line.installEventFilter(&linePresses);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    PolishUnderline::placePanel(line, QRectF(120, 110, 60, 18), screen.y() + screen.height());
    ASSERT_EQ(line.geometry(), QRect(120, 110, 60, 23));
    line.show();
    line.raise();
    ASSERT_TRUE(test::waitUntil([&] { return line.windowHandle() && line.windowHandle()->isExposed(); }));

    clickAt(display, 140, 118);  // on the word
    EXPECT_TRUE(test::waitUntil([&] { return belowPresses.count == 1; }));
    EXPECT_EQ(linePresses.count, 0);

    clickAt(display, 140, 131);  // on the line under it
    EXPECT_TRUE(test::waitUntil([&] { return linePresses.count == 1; }));
    EXPECT_EQ(belowPresses.count, 1);
    XCloseDisplay(display);
}

}  // namespace
