// The AI key in the test desktop's keyring, as the real program finds it at start-up.
#include "linux/SecretKeyStore.h"

#include "DesktopHarness.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString SERVICE = QStringLiteral("com.local.murmelo.openai");
const QString ACCOUNT = QStringLiteral("api-key");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(DesktopAiKey, TheProgramFindsTheStoredKeyAtStartAndNeverWritesItDown) {
    auto* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")))
        GTEST_SKIP() << "needs the test desktop's keyring (scripts/desktop-session)";
    const QByteArray key = "sk-desktop-test-0123456789abcdefghij";
    linuxdesktop::SecretKeyStore store;
    ASSERT_EQ(store.write(SERVICE, ACCOUNT, QStringLiteral("Ondrix - ключ OpenAI"), key), KeyStore::OK);

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcess app;
    app.setProcessEnvironment(test::programEnvironment(home.path()));
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QCoreApplication::applicationDirPath() + "/murmelo", {});
    ASSERT_TRUE(app.waitForStarted(30000));
    const QString defaults = home.filePath("config/Murmelo/defaults.json");
    const QString log = home.filePath("state/Murmelo/murmelo.log");
    const bool repaired = test::waitUntil([&] { return readAll(defaults).contains("keychain.accessRepaired.v1"); }, 60);
    EXPECT_TRUE(repaired) << readAll(log).toStdString();
    app.terminate();
    if (!app.waitForFinished(20000)) app.kill();

    EXPECT_FALSE(readAll(log).contains(key));
    EXPECT_FALSE(readAll(defaults).contains(key));
    // Nothing else the program wrote in its home holds the key either.
    for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString file = it.next();
        EXPECT_FALSE(readAll(file).contains(key)) << file.toStdString();
    }
    EXPECT_EQ(store.remove(SERVICE, ACCOUNT), KeyStore::OK);
}

}  // namespace
