// The settings window of the real program: opened by the start-up for a first model, closed,
// and shown again when a second copy asks the live one.
#include "DesktopHarness.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

// Last: Xlib's macros would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace murmelo;

namespace {

QString windowName(Display* d, Window w) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QString name;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 256, False,
                           XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after, &data) == Success &&
        data) {
        name = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
    }
    if (data) XFree(data);
    return name;
}

// The viewable top-level window whose title starts so (the window system adds the
// application's name), if any.
std::optional<XWindowAttributes> shownWindow(Display* d, const QString& title, Window* found = nullptr) {
    Window rootRet, parent;
    Window* kids = nullptr;
    unsigned int count = 0;
    std::optional<XWindowAttributes> result;
    if (XQueryTree(d, DefaultRootWindow(d), &rootRet, &parent, &kids, &count) && kids) {
        for (unsigned int i = 0; i < count && !result; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable && windowName(d, kids[i]).startsWith(title)) {
                result = a;
                if (found) *found = kids[i];
            }
        }
    }
    if (kids) XFree(kids);
    return result;
}

// Asks the window to close, as a window manager's close button does.
void requestClose(Display* d, Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
}

}  // namespace

TEST(DesktopSettings, ASecondCopyShowsTheLiveCopysSettingsWindowInTheStoredTheme) {
    if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    test::DesktopProgram program;
    ASSERT_TRUE(program.start(R"({"appearance": "dark"})", test::DesktopProgram::Model::none)) << program.log().toStdString();
    // With no model on disk the start-up opens the settings for a download; closed, the window
    // stays in the program for the next request.
    Window window = 0;
    ASSERT_TRUE(test::waitUntil([&] { return shownWindow(d, QStringLiteral("Настройки"), &window).has_value(); }, 30))
        << program.log().toStdString();
    requestClose(d, window);
    ASSERT_TRUE(test::waitUntil([&] { return !shownWindow(d, QStringLiteral("Настройки")).has_value(); }, 30));

    QProcess second;
    second.setProcessEnvironment(test::programEnvironment(program.home()));
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QCoreApplication::applicationDirPath() + QStringLiteral("/murmelo"), {});
    ASSERT_TRUE(second.waitForStarted(30000));
    EXPECT_TRUE(second.waitForFinished(60000));

    ASSERT_TRUE(test::waitUntil([&] { return shownWindow(d, QStringLiteral("Настройки"), &window).has_value(); }, 30))
        << program.log().toStdString();
    const XWindowAttributes a = *shownWindow(d, QStringLiteral("Настройки"));
    EXPECT_EQ(a.width, 1040);
    EXPECT_LT(a.height, 400) << "fitted to its content";
    // The stored dark theme: the rail is drawn dark.
    XImage* image = XGetImage(d, window, 5, 5, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    const int lightness = int(((pixel >> 16) & 0xff) + ((pixel >> 8) & 0xff) + (pixel & 0xff)) / 3;
    EXPECT_LT(lightness, 100);

    const QString log = program.log();
    EXPECT_TRUE(log.contains(QStringLiteral("повторный запуск — показываю настройки живого экземпляра")));
    EXPECT_TRUE(log.contains(QStringLiteral("оформление: при старте dark")));
    for (const char* gone : {"заглушка: appearanceApply", "настроек оформления в сборке ещё нет",
                             "заглушка: prefsWindowShow", "меню: «Настройки…» — этой части в сборке ещё нет",
                             "буфер: окна настроек в этой сборке нет"})
        EXPECT_FALSE(log.contains(QString::fromUtf8(gone))) << gone;
    XCloseDisplay(d);
}
