// The cloud result card on the real X server: it takes the keyboard when shown, typing lands
// in its text, Esc dismisses it, and the visibility probe follows it.
#include "ai/CloudActionHistory.h"
#include "ai/CloudResultWindow.h"
#include "ui/WindowVisibility.h"

#include "TestEnvironment.h"

#include <QGuiApplication>
#include <QWindow>
#include <gtest/gtest.h>

// Last: Xlib's macros would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace murmelo;

namespace {

void tap(Display* d, KeySym sym) {
    const KeyCode code = XKeysymToKeycode(d, sym);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    XFlush(d);
}

TEST(DesktopResultCard, TakesTheKeyboardTypingLandsAndEscDismisses) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    test::TestEnvironment env;
    CloudActionHistory history(env.defaults());
    CloudResultWindow& card = CloudResultWindow::shared();
    card.useHistory(&history);
    QList<bool> seen;
    WindowVisibility probe([&](bool visible) { seen << visible; });

    int cancels = 0;
    QStringList delivered;
    CloudResultRequest request;
    request.title = QStringLiteral("Исправлено");
    request.text = QStringLiteral("привет");
    request.primaryTitle = QStringLiteral("Заменить");
    request.onCancel = [&] { ++cancels; };
    request.onPrimary = [&](const QString& t) { delivered << t; };
    card.show(request);
    probe.attach(card.panel()->windowHandle());
    ASSERT_TRUE(env.waitFor([&] { return card.isKey(); }, 20000)) << "the card did not get the keyboard";
    EXPECT_TRUE(env.waitFor([&] { return !seen.isEmpty() && seen.last(); }, 20000));

    tap(display, XK_x);
    EXPECT_TRUE(env.waitFor([&] { return card.state().textView->toPlainText() == QStringLiteral("приветx"); }, 20000))
        << card.state().textView->toPlainText().toStdString();
    EXPECT_TRUE(card.state().edited);

    tap(display, XK_Escape);
    EXPECT_TRUE(env.waitFor([&] { return !card.isVisible(); }, 20000));
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_TRUE(env.waitFor([&] { return !seen.last(); }, 20000));

    card.useHistory(nullptr);
    XCloseDisplay(display);
}

}  // namespace
