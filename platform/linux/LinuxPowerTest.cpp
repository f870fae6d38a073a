#include "linux/LinuxPower.h"

#include "DesktopHarness.h"
#include "StandIns.h"
#include "TestFiles.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

using namespace murmelo;
using namespace murmelo::linuxdesktop;
using murmelo::test::waitUntil;
using murmelo::test::writeFile;

namespace {

// ---- the kernel's folders ----

class LinuxPowerFilesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString supply() const { return dir.filePath(QStringLiteral("power_supply")); }
    QString lids() const { return dir.filePath(QStringLiteral("lid")); }
    void supplyFile(const QString& device, const char* file, const QByteArray& value) {
        writeFile(supply() + QLatin1Char('/') + device + QLatin1Char('/') + QLatin1String(file), value + "\n");
    }
};

TEST_F(LinuxPowerFilesTest, BatteryLevelAndMainsFromThePowerSupplyFolder) {
    LinuxPower power(supply(), lids());
    EXPECT_EQ(power.powerSource(), std::nullopt);  // a desktop: no battery at all

    // A wireless mouse's battery does not count.
    supplyFile(QStringLiteral("hidpp_battery_0"), "type", "Battery");
    supplyFile(QStringLiteral("hidpp_battery_0"), "scope", "Device");
    supplyFile(QStringLiteral("hidpp_battery_0"), "capacity", "5");
    EXPECT_EQ(power.powerSource(), std::nullopt);

    supplyFile(QStringLiteral("AC"), "type", "Mains");
    supplyFile(QStringLiteral("AC"), "online", "0");
    supplyFile(QStringLiteral("BAT0"), "type", "Battery");
    supplyFile(QStringLiteral("BAT0"), "energy_now", "41250000");
    supplyFile(QStringLiteral("BAT0"), "energy_full", "50000000");  // 82.5 % rounds away from zero
    supplyFile(QStringLiteral("BAT0"), "capacity", "80");
    supplyFile(QStringLiteral("BAT0"), "status", "Charging");
    EXPECT_EQ(power.powerSource(), (PowerSourceState{83, false}));  // the mains entry decides
    supplyFile(QStringLiteral("AC"), "online", "1");
    EXPECT_EQ(power.powerSource(), (PowerSourceState{83, true}));

    // Without a mains entry the battery's own status tells.
    QDir(supply() + QStringLiteral("/AC")).removeRecursively();
    supplyFile(QStringLiteral("BAT0"), "status", "Discharging");
    EXPECT_EQ(power.powerSource(), (PowerSourceState{83, false}));
    QFile::remove(supply() + QStringLiteral("/BAT0/energy_now"));
    EXPECT_EQ(power.powerSource(), (PowerSourceState{80, false}));  // capacity as the fallback
}

TEST_F(LinuxPowerFilesTest, LidStateFromTheButtonFolder) {
    LinuxPower power(supply(), lids());
    EXPECT_EQ(power.lidClosed(), std::nullopt);
    EXPECT_EQ(power.lidCausesSleep(), std::nullopt);  // no lid, no question
    writeFile(lids() + QStringLiteral("/LID0/state"), "state:      open\n");
    EXPECT_EQ(power.lidClosed(), false);
    writeFile(lids() + QStringLiteral("/LID0/state"), "state:      closed\n");
    EXPECT_EQ(power.lidClosed(), true);
}

// ---- logind on a private bus ----

QString findPythonWithDbusmock() {
    QStringList candidates;
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!inPath.isEmpty()) candidates << inPath;
    candidates << QStringLiteral("/usr/bin/python3");
    for (const QString& python : candidates) {
        if (!QFileInfo(python).isExecutable()) continue;
        QProcess p;
        p.start(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
        if (p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return python;
    }
    return {};
}

void stopProcess(std::unique_ptr<QProcess>& p) {
    if (!p) return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    p.reset();
}

// The private bus that stands in for the system bus. It lives as long as the test process:
// the process's system-bus connection, made on first use, stays bound to its address, so a
// second run of the tests in the same process must find the same bus.
struct PrivateSystemBus {
    test::StandIn daemon;
    QByteArray address;
};

const PrivateSystemBus& privateSystemBus(const QString& daemon) {
    static const PrivateSystemBus bus = [&] {
        PrivateSystemBus b{test::spawnStandIn({daemon, QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")}),
                           {}};
        if (b.daemon.pid > 0) b.address = QByteArray::fromStdString(b.daemon.readLine()).trimmed();
        return b;
    }();
    return bus;
}

// Made before any test runs: Qt's D-Bus machinery, once another test has woken it (the key
// store's test asks the session bus), may take the system bus's address before the logind
// suite could set it.
const bool systemBusMadeEarly = [] {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) return false;
    const QByteArray address = privateSystemBus(daemon).address;
    if (!address.isEmpty()) qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    return !address.isEmpty();
}();

const QString kLogind = QStringLiteral("org.freedesktop.login1");

bool logindOnTheBus() { return QDBusConnection::systemBus().interface()->isServiceRegistered(kLogind); }

// The logind mock belongs to the suite: each run of it starts from the template's state.
class LinuxPowerLogindTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        skipReason_.clear();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            skipReason_ = "dbus-daemon is not installed";
            return;
        }
        const QString python = findPythonWithDbusmock();
        if (python.isEmpty()) {
            skipReason_ = "python3 with the dbusmock module is not installed";
            return;
        }
        const QByteArray address = privateSystemBus(daemon).address;
        ASSERT_FALSE(address.isEmpty()) << "dbus-daemon gave no address";
        // The backend finds the system bus through this variable; the connection is made on
        // first use, after this point.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        ASSERT_FALSE(logindOnTheBus()) << "a logind mock of an earlier run is still on the bus";

        mock_ = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QString::fromUtf8(address));
        mock_->setProcessEnvironment(env);
        mock_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_->start(python, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                              QStringLiteral("--template"), QStringLiteral("logind")});
        const bool up = waitUntil([] { return mock_->state() == QProcess::NotRunning || logindOnTheBus(); }, 15.0);
        ASSERT_TRUE(up && mock_->state() == QProcess::Running)
            << "the logind mock did not come up (running: " << (mock_->state() == QProcess::Running)
            << ", bus connected: " << QDBusConnection::systemBus().isConnected() << ", python " << python.toStdString()
            << ", exit " << mock_->exitCode() << ")";
    }

    static void TearDownTestSuite() {
        if (!mock_) return;
        stopProcess(mock_);
        // The bus lets the name go once it sees the mock's connection close.
        EXPECT_TRUE(waitUntil([] { return !logindOnTheBus(); }, 15.0)) << "the logind mock's name stayed on the bus";
    }

    void SetUp() override {
        if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
        ASSERT_TRUE(mock_ && mock_->state() == QProcess::Running);
    }

    // What logind lists: (what, who, why, mode).
    using Inhibitor = std::tuple<QString, QString, QString, QString>;
    static std::vector<Inhibitor> inhibitors() {
        const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
        std::vector<Inhibitor> out;
        if (reply.type() != QDBusMessage::ReplyMessage) return out;
        const QDBusArgument list = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> uid >> pid;
            list.endStructure();
            out.emplace_back(what, who, why, mode);
        }
        list.endArray();
        return out;
    }

    static QDBusMessage mockCall(const QString& method, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                           QStringLiteral("/org/freedesktop/login1"),
                                                           QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(args);
        return QDBusConnection::systemBus().call(call);
    }

    static inline std::string skipReason_;
    static inline std::unique_ptr<QProcess> mock_;
};

TEST_F(LinuxPowerLogindTest, IdleHoldsAreInhibitorsTakenAndReleased) {
    LinuxPower power;
    quint32 systemId = 0, displayId = 0;
    ASSERT_EQ(power.createAssertion(PowerAssertionType::PreventUserIdleSystemSleep, QStringLiteral("sys hold"), systemId), 0);
    ASSERT_EQ(power.createAssertion(PowerAssertionType::PreventUserIdleDisplaySleep, QStringLiteral("disp hold"), displayId), 0);
    EXPECT_NE(systemId, 0u);
    EXPECT_NE(systemId, displayId);
    const Inhibitor sys{QStringLiteral("sleep:idle"), QStringLiteral("Ondrix"), QStringLiteral("sys hold"), QStringLiteral("block")};
    const Inhibitor disp{QStringLiteral("idle"), QStringLiteral("Ondrix"), QStringLiteral("disp hold"), QStringLiteral("block")};
    auto has = [](const Inhibitor& i) {
        const auto all = inhibitors();
        return std::find(all.begin(), all.end(), i) != all.end();
    };
    EXPECT_TRUE(has(sys));
    EXPECT_TRUE(has(disp));
    // Idle holds are not the sleep lock.
    EXPECT_EQ(power.sleepDisabled(), false);

    power.releaseAssertion(systemId);
    EXPECT_TRUE(waitUntil([&] { return !has(sys); })) << "logind still lists the released hold";
    EXPECT_TRUE(has(disp));
    power.releaseAssertion(displayId);
    EXPECT_TRUE(waitUntil([&] { return inhibitors().empty(); }));
}

TEST_F(LinuxPowerLogindTest, TheSleepLockSwitchesSleepOffAlsoForTheLid) {
    LinuxPower power;
    ASSERT_TRUE(power.setSleepLock(true));
    ASSERT_TRUE(power.setSleepLock(true));  // held once only
    const auto all = inhibitors();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(std::get<0>(all[0]), QStringLiteral("sleep:idle:handle-lid-switch"));
    EXPECT_EQ(power.sleepDisabled(), true);

    ASSERT_TRUE(power.setSleepLock(false));
    EXPECT_TRUE(waitUntil([&] { return power.sleepDisabled() == false; }));
    EXPECT_TRUE(inhibitors().empty());

    // Going away with the lock held hands it back too.
    {
        LinuxPower shortLived;
        ASSERT_TRUE(shortLived.setSleepLock(true));
        EXPECT_EQ(power.sleepDisabled(), true);  // anyone's lock counts
    }
    EXPECT_TRUE(waitUntil([&] { return power.sleepDisabled() == false; }));
}

TEST_F(LinuxPowerLogindTest, SleepAndWakeArriveFromPrepareForSleep) {
    LinuxPower power;
    int slept = 0, woke = 0;
    power.setSleepHandlers([&] { ++slept; }, [&] { ++woke; });
    const auto emitPrepare = [](bool start) {
        const QDBusMessage r = mockCall(QStringLiteral("EmitSignal"),
                                        {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                                         QStringLiteral("b"), QVariant::fromValue(QVariantList{start})});
        ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    };
    emitPrepare(true);
    EXPECT_TRUE(waitUntil([&] { return slept == 1; }));
    emitPrepare(false);
    EXPECT_TRUE(waitUntil([&] { return woke == 1; }));
    EXPECT_EQ(slept, 1);

    // Another listener on the same bus connection is the sentinel: the signal reaches both
    // in the same turn of the event loop.
    power.setSleepHandlers({}, {});
    LinuxPower witness;
    int witnessed = 0;
    witness.setSleepHandlers([&] { ++witnessed; }, {});
    emitPrepare(true);
    ASSERT_TRUE(waitUntil([&] { return witnessed == 1; }));
    EXPECT_EQ(slept, 1);
}

TEST_F(LinuxPowerLogindTest, LidActionComesFromLogind) {
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("lid/LID0/state")), "state:      open\n");
    LinuxPower power(dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("lid")));
    EXPECT_EQ(power.lidCausesSleep(), std::nullopt);  // logind did not say
    const QDBusMessage r = mockCall(QStringLiteral("AddProperty"),
                                    {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("HandleLidSwitch"),
                                     QVariant::fromValue(QDBusVariant(QStringLiteral("suspend")))});
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    EXPECT_EQ(power.lidCausesSleep(), true);
    mockCall(QStringLiteral("UpdateProperties"),
             {QStringLiteral("org.freedesktop.login1.Manager"),
              QVariant::fromValue(QVariantMap{{QStringLiteral("HandleLidSwitch"), QStringLiteral("ignore")}})});
    EXPECT_EQ(power.lidCausesSleep(), false);
}

}  // namespace
