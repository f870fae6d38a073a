#include "linux/PortalColorScheme.h"

#include "DesktopHarness.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <gtest/gtest.h>

using murmelo::linuxdesktop::PortalColorScheme;

TEST(PortalColorSchemeTest, OnlyTheTwoStatedPreferencesCount) {
    const std::pair<uint, std::optional<bool>> cases[] = {
        {0, std::nullopt}, {1, true}, {2, false}, {3, std::nullopt}, {0xFFFFFFFFu, std::nullopt}};
    for (const auto& [value, dark] : cases) EXPECT_EQ(PortalColorScheme::fromPortalValue(value), dark) << value;
}

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

QDBusMessage callMock(const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPath, kMock, method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

// The portal answers Read as the real one does: the value wrapped in two variants.
void portalAnswers(uint scheme) {
    const QDBusMessage r = callMock(QStringLiteral("AddMethod"),
                                    {QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"),
                                     QStringLiteral("ss"), QStringLiteral("v"),
                                     QStringLiteral("ret = dbus.UInt32(%1, variant_level=1)").arg(scheme)});
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
}

void portalSignals(const QString& ns, const QString& key, uint value) {
    const QDBusMessage r = callMock(QStringLiteral("EmitSignal"),
                                    {QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"),
                                     QStringLiteral("ssv"), QVariant(QVariantList{ns, key, value})});
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
}

}  // namespace

// The desktop portal on the test desktop's session bus, played by python3-dbusmock.
TEST(DesktopPortalColorScheme, ReadsThePreferenceAndHearsOnlyItsOwnChanges) {
    if (!murmelo::test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
    PortalColorScheme scheme;
    EXPECT_EQ(scheme.prefersDark(), std::nullopt) << "no portal: no preference";

    QProcess mock;
    mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                                     QStringLiteral("--session"), kPortal, kPath,
                                                     QStringLiteral("org.freedesktop.portal.Settings")});
    ASSERT_TRUE(mock.waitForStarted(10000));
    ASSERT_TRUE(murmelo::test::waitUntil(
        [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(kPortal).value(); }, 30));

    portalAnswers(1);
    EXPECT_EQ(scheme.prefersDark(), true);
    portalAnswers(2);
    EXPECT_EQ(scheme.prefersDark(), false);
    portalAnswers(0);
    EXPECT_EQ(scheme.prefersDark(), std::nullopt);

    int changes = 0;
    scheme.setChangeHandler([&] { ++changes; });
    portalSignals(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"), 3);
    portalSignals(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 1);
    EXPECT_TRUE(murmelo::test::waitUntil([&] { return changes > 0; }, 30));
    EXPECT_EQ(changes, 1);

    mock.terminate();
    mock.waitForFinished(10000);
}
