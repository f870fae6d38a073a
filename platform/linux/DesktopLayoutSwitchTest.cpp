#include "linux/DesktopLayoutSwitch.h"

#include "DesktopHarness.h"
#include "linux/XkbInputSources.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>

// Last: X's headers define macros that Qt's headers would trip over.
#include <X11/XKBlib.h>

namespace {

// Another client locks the group, as a desktop's layout service does.
bool lockGroupElsewhere(unsigned group) {
    Display* d = XkbOpenDisplay(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!d) return false;
    XkbLockGroup(d, XkbUseCoreKbd, group);
    XCloseDisplay(d);
    return true;
}

}  // namespace

// X's macros clash with the meta-object code below.
#undef Bool

using namespace murmelo;
using namespace murmelo::linuxdesktop;

TEST(LayoutOwner, TheOwnerIsChosenByWhatRunsInTheSession) {
    struct Case {
        const char* what;
        QStringList names;
        bool ibus;
        LayoutOwner owner;
    };
    const Case cases[] = {
        {"nothing but X", {}, false, LayoutOwner::Xkb},
        {"KDE", {"org.kde.keyboard"}, false, LayoutOwner::KdeKeyboard},
        {"GNOME, whose shell drives IBus", {"org.gnome.Shell"}, true, LayoutOwner::GnomeShell},
        {"a bare IBus", {}, true, LayoutOwner::IBus},
        {"fcitx5 on GNOME", {"org.gnome.Shell", "org.fcitx.Fcitx5"}, true, LayoutOwner::Fcitx5},
        {"fcitx5 on KDE", {"org.kde.keyboard", "org.fcitx.Fcitx5"}, false, LayoutOwner::Fcitx5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LayoutOwnerProbe probe;
        probe.sessionHasName = [&](const QString& name) { return c.names.contains(name); };
        probe.ibusRuns = [&] { return c.ibus; };
        EXPECT_EQ(chooseLayoutOwner(probe), c.owner);
    }
}

TEST(LayoutOwner, LayoutsAreNamedAsEachOwnerNamesThem) {
    EXPECT_EQ(ibusEngineFor("xkb:us"), "xkb:us::eng");
    EXPECT_EQ(ibusEngineFor("xkb:ru"), "xkb:ru::rus");
    EXPECT_EQ(ibusEngineFor("xkb:us(intl)"), "xkb:us:intl:eng");
    EXPECT_EQ(ibusEngineFor("xkb:xx"), "") << "a language we do not know";
    EXPECT_EQ(fcitxInputMethodFor("xkb:ru"), "keyboard-ru");
    EXPECT_EQ(fcitxInputMethodFor("xkb:us(intl)"), "keyboard-us-intl");
    EXPECT_EQ(fcitxInputMethodFor("xkb:group2"), "keyboard-group2");
    EXPECT_EQ(fcitxInputMethodFor("com.apple.keylayout.US"), "");
}

TEST(LayoutOwner, TheIBusAddressComesFromTheEnvironmentOrTheDaemonsFile) {
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME"), oldDisplay = qgetenv("DISPLAY"),
                     oldAddress = qgetenv("IBUS_ADDRESS");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("DISPLAY", ":7.0");
    qunsetenv("IBUS_ADDRESS");
    EXPECT_EQ(ibusAddress(), "") << "no daemon";
    QFile id("/etc/machine-id");
    ASSERT_TRUE(id.open(QIODevice::ReadOnly));
    QDir().mkpath(config.path() + "/ibus/bus");
    QFile file(config.path() + "/ibus/bus/" + QString::fromLatin1(id.readAll()).trimmed() + "-unix-7");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# written by the daemon\nIBUS_ADDRESS=unix:abstract=/tmp/x,guid=1\nIBUS_DAEMON_PID=" +
               QByteArray::number(qint64(getpid())) + "\n");
    file.close();
    EXPECT_EQ(ibusAddress(), "unix:abstract=/tmp/x,guid=1");
    qputenv("IBUS_ADDRESS", "unix:path=/run/ibus");
    EXPECT_EQ(ibusAddress(), "unix:path=/run/ibus");
    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("DISPLAY", oldDisplay);
    if (oldAddress.isEmpty()) qunsetenv("IBUS_ADDRESS");
    else qputenv("IBUS_ADDRESS", oldAddress);
}

namespace {

// The desktop's layout service on the test desktop's session bus, on a thread of its own as
// the real one is a process of its own: it switches by locking the XKB group, as KDE's does,
// or refuses, as GNOME Shell's closed Eval does.
class FakeKeyboardService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KeyboardLayouts")
public:
    std::atomic<int> asked{-1};
public slots:
    bool setLayout(uint index) {
        asked = int(index);
        return lockGroupElsewhere(index);
    }
};

class FakeShell : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell")
public:
    std::atomic<int> evals{0};
public slots:
    bool Eval(const QString&, QString& result) {
        ++evals;
        result.clear();
        return false;  // unsafe mode is off
    }
};

// Runs a service object on its own thread and bus connection for the life of the test.
class ServiceThread : public QThread {
public:
    ServiceThread(QString busName, QString path, QObject* object)
        : busName_(std::move(busName)), path_(std::move(path)), object_(object) {
        object_->moveToThread(this);
    }
    ~ServiceThread() override {
        quit();
        wait();
    }
    bool startAndRegister() {
        start();
        return test::waitUntil([&] { return registered_.load() != 0; }) && registered_ == 1;
    }

protected:
    void run() override {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, busName_);
        const bool ok = bus.registerObject(path_, object_, QDBusConnection::ExportAllSlots) &&
                        bus.registerService(busName_);
        registered_ = ok ? 1 : 2;
        exec();
        bus.unregisterService(busName_);
        bus.unregisterObject(path_);
        QDBusConnection::disconnectFromBus(busName_);
        object_->moveToThread(QCoreApplication::instance()->thread());
    }

private:
    QString busName_, path_;
    QObject* object_;
    std::atomic<int> registered_{0};
};

const QString kUS = QStringLiteral("com.apple.keylayout.US");
const QString kRussian = QStringLiteral("com.apple.keylayout.Russian");

struct DesktopLayoutOwner : ::testing::Test {
    std::unique_ptr<XkbInputSources> sources;
    std::vector<QString> heard;
    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        sources = std::make_unique<XkbInputSources>();
        ASSERT_TRUE(sources->isConnected());
        sources->setSelectionHandler([this](const InputSource& s) { heard.push_back(s.id); });
    }
    void TearDown() override {
        if (!sources) return;
        sources->setLayoutSwitch(nullptr);
        if (sources->currentSource() && sources->currentSource()->id != kUS) {
            sources->select(kUS);
            test::waitUntil([&] { return sources->currentSource()->id == kUS; }, 30);
        }
    }
};

}  // namespace

TEST_F(DesktopLayoutOwner, KdesServiceIsFoundAndSwitchesTheLayout) {
    EXPECT_EQ(chooseLayoutOwner(sessionProbe()), LayoutOwner::Xkb) << "the bare test desktop";
    FakeKeyboardService kde;
    ServiceThread thread(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"), &kde);
    ASSERT_TRUE(thread.startAndRegister());
    const LayoutOwner owner = chooseLayoutOwner(sessionProbe());
    ASSERT_EQ(owner, LayoutOwner::KdeKeyboard);
    sources->setLayoutSwitch(makeLayoutSwitch(owner));
    ASSERT_TRUE(sources->select(kRussian));
    ASSERT_TRUE(test::waitUntil([&] { return !heard.empty(); }, 30));
    EXPECT_EQ(kde.asked, 1);
    EXPECT_EQ(heard, std::vector<QString>{kRussian});
}

TEST_F(DesktopLayoutOwner, AShellThatRefusesLeavesTheSwitchToTheGroupLockAndSaysSo) {
    FakeShell shell;
    ServiceThread thread(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"), &shell);
    ASSERT_TRUE(thread.startAndRegister());
    ASSERT_EQ(chooseLayoutOwner(sessionProbe()), LayoutOwner::GnomeShell);
    test::LoggedWarnings warnings;
    sources->setLayoutSwitch(makeLayoutSwitch(LayoutOwner::GnomeShell));
    ASSERT_TRUE(sources->select(kRussian));
    ASSERT_TRUE(test::waitUntil([&] { return !heard.empty(); }, 30));
    EXPECT_EQ(heard, std::vector<QString>{kRussian});
    EXPECT_EQ(shell.evals, 1);
    ASSERT_TRUE(sources->select(kUS));
    ASSERT_TRUE(test::waitUntil([&] { return heard.size() == 2; }, 30));
    EXPECT_EQ(warnings.lines().filter("GNOME Shell refused the layout switch").size(), 1) << "said once";
}

#include "DesktopLayoutSwitchTest.moc"
