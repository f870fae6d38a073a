#include "linux/SecretKeyStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QUuid>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

// Against the test desktop's keyring (scripts/desktop-session); skipped without one.
class DesktopSecretKeyStore : public ::testing::Test {
protected:
    void SetUp() override {
        auto* bus = QDBusConnection::sessionBus().interface();
        if (!bus || !bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")))
            GTEST_SKIP() << "no Secret Service on the session bus";
    }
    // A service name of this test alone, so that runs never see each other's items.
    const QString service = QStringLiteral("com.local.murmelo.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString account = QStringLiteral("api-key");
    SecretKeyStore store;
};

TEST_F(DesktopSecretKeyStore, SavesReadsReplacesInPlaceAndDeletes) {
    EXPECT_EQ(store.read(service, account).status, KeyStore::NOT_FOUND);
    EXPECT_EQ(store.remove(service, account), KeyStore::NOT_FOUND);

    ASSERT_EQ(store.write(service, account, QStringLiteral("Ondrix - ключ OpenAI"), "sk-first-key-0123456789"), KeyStore::OK);
    EXPECT_EQ(store.read(service, account).data, QByteArray("sk-first-key-0123456789"));
    // Another account of the same service is another item.
    EXPECT_EQ(store.read(service, QStringLiteral("other")).status, KeyStore::NOT_FOUND);

    ASSERT_EQ(store.write(service, account, QStringLiteral("Ondrix - ключ OpenAI"), "sk-second-key-0123456789"), KeyStore::OK);
    const auto replaced = store.read(service, account);
    EXPECT_EQ(replaced.status, KeyStore::OK);
    EXPECT_EQ(replaced.data, QByteArray("sk-second-key-0123456789"));

    EXPECT_EQ(store.remove(service, account), KeyStore::OK);
    EXPECT_EQ(store.read(service, account).status, KeyStore::NOT_FOUND);
    EXPECT_EQ(store.remove(service, account), KeyStore::NOT_FOUND);
}

}  // namespace
