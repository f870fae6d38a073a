// The drop on the real desktop: the program as the user starts it, with and without a
// compositing manager, and the drop windows stepping aside for a full-screen window that
// the stacking list names (the test desktop has no window manager: the test writes it).
#include "DesktopHarness.h"
#include "base/Defaults.h"
#include "presence/DropPresenceWindows.h"
#include "presence/Ladder.h"
#include "linux/QtScreens.h"
#include "linux/X11Workspace.h"
#include "platform/QtMainQueue.h"
#include "platform/Service.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

// Last: Xlib's macros would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

using namespace murmelo;

namespace {

QString readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

bool compositorRuns(Display* d) {
    return XGetSelectionOwner(d, XInternAtom(d, "_NET_WM_CM_S0", False)) != 0;
}

// The viewable top-level windows of that size and place (top-left origin).
int windowsAt(Display* d, int x, int y, int w, int h) {
    Window rootRet, parent;
    Window* kids = nullptr;
    unsigned int count = 0;
    int found = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &rootRet, &parent, &kids, &count) && kids) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable && a.x == x && a.y == y &&
                a.width == w && a.height == h)
                ++found;
        }
    }
    if (kids) XFree(kids);
    return found;
}

class DesktopPresence : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr);
        ASSERT_FALSE(compositorRuns(d)) << "the session was started without a compositor";
    }
    void TearDown() override {
        if (compositor.state() != QProcess::NotRunning) {
            compositor.terminate();
            compositor.waitForFinished(10000);
        }
        if (d) XCloseDisplay(d);
    }
    void startCompositor() {
        compositor.start(QStringLiteral("xcompmgr"), {});
        ASSERT_TRUE(compositor.waitForStarted(10000));
        ASSERT_TRUE(test::waitUntil([&] { return compositorRuns(d); }, 10));
    }
    // Runs the program with the bottom-right drop chosen until the line is in its log.
    QString runProgram(const QString& awaited) {
        QTemporaryDir home;
        const QProcessEnvironment env = test::programEnvironment(home.path());
        {
            Defaults defaults(home.filePath("config/Murmelo/defaults.json"));
            defaults.set(QStringLiteral("presenceStyle"), QStringLiteral("dropBottomRight"));
        }
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QCoreApplication::applicationDirPath() + "/murmelo", {});
        EXPECT_TRUE(app.waitForStarted(30000));
        const QString log = home.filePath("state/Murmelo/murmelo.log");
        EXPECT_TRUE(test::waitUntil([&] { return readAll(log).contains(awaited); }, 60)) << readAll(log).toStdString();
        // Start-up runs on; the presence is in place once the menu's refresh was built too.
        test::waitUntil([&] { return readAll(log).contains(QStringLiteral("event-tap")); }, 20);
        shown = windowsAt(d, 1280 - 360, 800 - 360, 360, 360);
        app.terminate();
        if (!app.waitForFinished(20000)) app.kill();
        return readAll(log);
    }

    Display* d = nullptr;
    QProcess compositor;
    int shown = 0;
};

TEST_F(DesktopPresence, WithACompositorOneDropStandsAtTheBottomRight) {
    startCompositor();
    const QString log = runProgram(QStringLiteral("капля: окно 360x360 свет из правой кромки снизу, показана"));
    EXPECT_EQ(shown, 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("капля: окно ")), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("нет композитного менеджера")));
    // The presence's own entries are built.
    for (const char* entry : {"заглушка: presenceStyleApply", "заглушка: ladderPresenceShow", "заглушка: beadDropPrewarm"})
        EXPECT_FALSE(log.contains(QString::fromUtf8(entry))) << entry;
}

// The drop as the user sees it: the real program in a calibration run (recording from the
// start), in the light and in the water design, the screen grabbed before and while it shows.
TEST_F(DesktopPresence, TheCalibrationDropShowsAtTheTopCentreOverTheScreen) {
    startCompositor();
    auto grab = [] { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); };
    auto brightness = [](const QImage& image, QRect r) {
        double sum = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                sum += qRed(p) + qGreen(p) + qBlue(p);
            }
        return sum / (r.width() * r.height());
    };
    auto difference = [](const QImage& a, const QImage& b, QRect r) {
        double sum = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            }
        return sum / (r.width() * r.height());
    };
    const QImage before = grab();
    ASSERT_EQ(before.size(), QSize(1280, 800));
    // The corners are small: the build's own card stands just inside the bottom-right one.
    const QRect bottomLeft(0, 780, 20, 20), bottomRight(1268, 788, 12, 12);
    struct Case {
        const char* design;
        QRect topCentre;
        const char* window;
    };
    // The light shines into a wide field; the water drop hangs 43 pt under the top edge.
    for (const Case& c : {Case{"light", QRect(600, 10, 80, 60), "капля: окно 560x340 у верхней кромки"},
                          Case{"water", QRect(610, 4, 60, 30), "капля: окно 214x127 у верхней кромки"}}) {
        const QString design = QString::fromLatin1(c.design);
        QTemporaryDir home;
        QProcessEnvironment env = test::programEnvironment(home.path());
        env.insert(QStringLiteral("MURMELO_SOLAR_CALIBRATION"), QStringLiteral("1"));
        {
            Defaults defaults(home.filePath("config/Murmelo/defaults.json"));
            defaults.set(QStringLiteral("orbStyle"), design);
        }
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QCoreApplication::applicationDirPath() + "/murmelo", {});
        ASSERT_TRUE(app.waitForStarted(30000));
        const QString logPath = home.filePath("state/Murmelo/murmelo.log");
        QImage during;
        const bool shows = test::waitUntil(
            [&] {
                during = grab();
                return design == QStringLiteral("light")
                           ? brightness(during, c.topCentre) > brightness(before, c.topCentre) + 40
                           : difference(during, before, c.topCentre) > 30;
            },
            90);
        // The bead images are warmed up off the main thread once start-up is through.
        test::waitUntil([&] { return readAll(logPath).contains(QStringLiteral("event-tap")); }, 20);
        if (const QString dir = qEnvironmentVariable("MURMELO_GRAB_DIR"); !dir.isEmpty())
            during.save(dir + QStringLiteral("/calibration-%1.png").arg(design));
        app.terminate();
        if (!app.waitForFinished(20000)) app.kill();
        const QString log = readAll(logPath);

        EXPECT_TRUE(shows) << c.design << log.toStdString();
        EXPECT_TRUE(log.contains(QString::fromUtf8(c.window))) << log.toStdString();
        EXPECT_EQ(brightness(during, bottomLeft), brightness(before, bottomLeft)) << c.design;
        EXPECT_EQ(brightness(during, bottomRight), brightness(before, bottomRight)) << c.design;
        for (const char* failure : {"OpenGL недоступен", "шейдер не собрался", "нет композитного менеджера",
                                    "заглушка: beadDropPrewarm", "бусина: "})
            EXPECT_FALSE(log.contains(QString::fromUtf8(failure))) << c.design << ": " << failure;
    }
}

TEST_F(DesktopPresence, WithoutACompositorTheStatusItemStandsInOnce) {
    const QString log = runProgram(QStringLiteral("нет композитного менеджера"));
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(log.count(QStringLiteral("нет композитного менеджера")), 1) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("капля: окно ")));
}

TEST_F(DesktopPresence, AFullScreenWindowInTheStackingListHidesTheCornerDropUntilItCloses) {
    QtMainQueue queue;
    ScopedService<MainQueue> queueScope(queue);
    linuxdesktop::QtScreens screens;
    ScopedService<Screens> screensScope(screens);
    linuxdesktop::X11Workspace workspace;
    ScopedService<Workspace> workspaceScope(workspace);
    QTemporaryDir home;
    Defaults defaults(home.filePath("defaults.json"));
    ScopedService<Defaults> defaultsScope(defaults);
    // A cache of this test's own, over the real window list.
    WindowBoundsCache cache([&] { return workspace.onScreenWindowFrames(); },
                            [] { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; },
                            [](std::function<void()> fn) { fn(); }, [] { return true; });
    ScopedService<WindowBoundsCache> cacheScope(cache);

    DropPresenceWindows drop;
    drop.show(DropPlacement::bottomRight);
    ASSERT_EQ(drop.screenSlots().size(), 1u);
    QWindow* win = drop.screenSlots()[0].win();
    ASSERT_TRUE(test::waitUntil([&] { return win->isVisible() && windowsAt(d, 920, 440, 360, 360) == 1; }));

    QWidget full;
    full.setGeometry(0, 0, 1280, 800);
    full.show();
    ASSERT_TRUE(test::waitUntil([&] { return full.windowHandle()->isExposed(); }));
    Window listed = full.winId();
    const Atom stacking = XInternAtom(d, "_NET_CLIENT_LIST_STACKING", False);
    XChangeProperty(d, DefaultRootWindow(d), stacking, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&listed), 1);
    XSync(d, False);
    EXPECT_TRUE(test::waitUntil([&] { return !win->isVisible(); }, 10));
    EXPECT_TRUE(test::waitUntil([&] { return windowsAt(d, 920, 440, 360, 360) == 0; }, 10));

    full.close();
    EXPECT_TRUE(test::waitUntil([&] { return win->isVisible(); }, 10));
    XDeleteProperty(d, DefaultRootWindow(d), stacking);
    XSync(d, False);
}

}  // namespace
