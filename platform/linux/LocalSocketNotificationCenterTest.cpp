#include "linux/LocalSocketNotificationCenter.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace murmelo;
using linuxdesktop::LocalSocketNotificationCenter;

namespace {

class LocalSocketNotificationCenterTest : public ::testing::Test {
protected:
    // The observer's socket is served by this thread's event loop.
    static bool eventually(const std::function<bool()>& condition) {
        QDeadlineTimer deadline(5000);
        while (!condition()) {
            if (deadline.hasExpired()) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    test::TestEnvironment env;
};

TEST_F(LocalSocketNotificationCenterTest, ObserversOfTheNameReceiveEachPost) {
    LocalSocketNotificationCenter observerSide;
    int shown = 0, other = 0;
    observerSide.addObserver("com.local.murmelo.showPrefs", [&] { ++shown; });
    observerSide.addObserver("com.local.murmelo.other", [&] { ++other; });

    LocalSocketNotificationCenter poster;
    poster.post("com.local.murmelo.showPrefs");
    poster.post("com.local.murmelo.showPrefs");
    EXPECT_TRUE(eventually([&] { return shown == 2; }));
    EXPECT_EQ(other, 0);
    // Whoever makes the folder first, it is the user's alone.
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(LocalSocketNotificationCenter::folder()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(LocalSocketNotificationCenterTest, APostWithNobodyListeningGoesNowhereAndClearsStaleSockets) {
    QDir().mkpath(LocalSocketNotificationCenter::folder());
    const QString stale = LocalSocketNotificationCenter::folder() + "/com.local.murmelo.showPrefs.999999";
    {
        QFile f(stale);  // a plain file where a dead copy's socket was
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    LocalSocketNotificationCenter poster;
    poster.post("com.local.murmelo.showPrefs");
    poster.post("com.local.murmelo.nobody");
    EXPECT_FALSE(QFile::exists(stale));
}

}  // namespace
