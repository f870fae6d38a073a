#include "ai/OpenAIKeychain.h"

#include "TestEnvironment.h"
#include "TestFiles.h"
#include "sim/SimKeyStore.h"

#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using namespace murmelo;

namespace {

const QString SERVICE = QStringLiteral("com.local.murmelo.openai");
const QString ACCOUNT = QStringLiteral("api-key");
const QString KEY = QStringLiteral("sk-first-0123456789abcdefghij");
const QString NEW_KEY = QStringLiteral("sk-second-0123456789abcdefghij");

class OpenAIKeychainTest : public ::testing::Test {
protected:
    // The same read as any worker's (no wait bound).
    std::optional<QString> readOffMain() {
        std::optional<QString> got;
        std::thread([&] { got = keychain.read(); }).join();
        return got;
    }
    test::TestEnvironment env;
    sim::SimKeyStore store;
    OpenAIKeychain keychain{&store, 0.0};
};

TEST_F(OpenAIKeychainTest, SaveReadReplaceDelete) {
    EXPECT_EQ(readOffMain(), std::nullopt);
    ASSERT_TRUE(keychain.save(KEY));
    EXPECT_EQ(store.item(SERVICE, ACCOUNT)->label, "Ondrix - ключ OpenAI");
    EXPECT_EQ(readOffMain(), KEY);
    const int reads = store.reads();
    EXPECT_EQ(readOffMain(), KEY);
    EXPECT_EQ(store.reads(), reads);  // from the cache

    // After a save the next read asks the store, not the old cache.
    ASSERT_TRUE(keychain.save(NEW_KEY));
    EXPECT_EQ(readOffMain(), NEW_KEY);
    EXPECT_EQ(store.reads(), reads + 1);

    EXPECT_TRUE(keychain.deleteKey());
    EXPECT_TRUE(keychain.deleteKey());
    EXPECT_EQ(readOffMain(), std::nullopt);
    EXPECT_FALSE(env.logContains("Keychain"));  // none of this is a failure
}

TEST_F(OpenAIKeychainTest, AFailedWriteKeepsTheStoredKeyAndSaysWhy) {
    ASSERT_TRUE(keychain.save(KEY));
    store.failWrites(KeyStore::LOCKED);
    EXPECT_FALSE(keychain.save(NEW_KEY));
    store.failWrites(KeyStore::OK);
    EXPECT_EQ(readOffMain(), KEY);
    EXPECT_TRUE(env.logContains("Keychain: запись ключа не удалась, код -25308 — связка заблокирована"));

    store.failWrites(KeyStore::NO_SERVICE);
    EXPECT_FALSE(keychain.save(NEW_KEY));
    EXPECT_TRUE(env.logContains("Keychain: запись ключа не удалась, код -25291 — службы связки ключей (Secret Service) нет"));
    EXPECT_FALSE(env.logContains(KEY));
    EXPECT_FALSE(env.logContains(NEW_KEY));
}

TEST_F(OpenAIKeychainTest, ReadFailuresAreExplainedNotCached) {
    const struct {
        int status;
        const char* text;
    } cases[] = {
        {KeyStore::LOCKED, "связка заблокирована"},
        {KeyStore::DISMISSED, "человек закрыл окно разблокировки связки ключей"},
        {KeyStore::NO_SERVICE, "службы связки ключей (Secret Service) нет"},
        {7, "код Secret Service"},
    };
    keychain.save(KEY);
    for (const auto& c : cases) {
        store.failReads(c.status);
        keychain.invalidateCache();
        EXPECT_EQ(readOffMain(), std::nullopt);
        EXPECT_TRUE(env.logContains(QStringLiteral("Keychain: чтение ключа не удалось, код %1 — %2")
                                        .arg(c.status)
                                        .arg(QString::fromUtf8(c.text))))
            << c.text;
    }
    EXPECT_EQ(OpenAIKeychain::explain(KeyStore::NOT_FOUND), "записи нет, ключ не вводили");
    store.failReads(KeyStore::OK);
    EXPECT_EQ(readOffMain(), KEY);  // a failure was not cached

    // Data that is not UTF-8 text, or empty, is status 0 with the default explanation.
    store.write(SERVICE, ACCOUNT, "label", "\xff\xfe");
    keychain.invalidateCache();
    EXPECT_EQ(readOffMain(), std::nullopt);
    EXPECT_TRUE(env.logContains("Keychain: чтение ключа не удалось, код 0 — код Secret Service"));
}

TEST_F(OpenAIKeychainTest, RepairTouchesNothingAndTellsWhetherAKeyIsReadable) {
    bool result = true;
    std::thread([&] { result = keychain.repairAccess(); }).join();
    EXPECT_FALSE(result);
    EXPECT_EQ(store.writes(), 0);
    ASSERT_TRUE(keychain.save(KEY));
    std::thread([&] { result = keychain.repairAccess(); }).join();
    EXPECT_TRUE(result);
    EXPECT_EQ(store.writes(), 1);
    EXPECT_EQ(store.item(SERVICE, ACCOUNT)->secret, KEY.toUtf8());
}

TEST_F(OpenAIKeychainTest, AMainThreadReadWaitsOnlyItsBoundAndTheWorkerFillsTheCache) {
    ASSERT_TRUE(keychain.save(KEY));
    store.closeGate();  // an unlock prompt nobody answers
    EXPECT_EQ(keychain.read(), std::nullopt);
    EXPECT_EQ(keychain.read(), std::nullopt);  // still the one read on its worker
    store.openGate();
    EXPECT_TRUE(env.waitFor([&] { return store.reads() == 1 && keychain.read() == KEY; }, 10000));
    EXPECT_EQ(store.reads(), 1);
}

TEST_F(OpenAIKeychainTest, AReadBegunBeforeADeleteDoesNotPutTheKeyBack) {
    ASSERT_TRUE(keychain.save(KEY));
    store.closeGate();
    EXPECT_EQ(keychain.read(), std::nullopt);  // its worker waits at the gate
    EXPECT_TRUE(keychain.deleteKey());
    store.openGate();
    EXPECT_TRUE(env.waitFor([&] { return store.reads() == 1; }, 10000));
    EXPECT_EQ(readOffMain(), std::nullopt);
}

TEST(AIKeySourceTest, ResolveTable) {
    const struct {
        std::optional<QString> personal, bundled;
        std::optional<QString> key;
        AIKeySource source;
    } cases[] = {
        {{}, {}, {}, AIKeySource::none},
        {QString(), QString(), {}, AIKeySource::none},
        {"p", "b", "p", AIKeySource::personal},
        {QString(), "b", "b", AIKeySource::bundled},
        {" p ", {}, " p ", AIKeySource::personal},  // used exactly as stored
    };
    for (const auto& c : cases) {
        const auto r = resolveAIKeySource(c.personal, c.bundled);
        EXPECT_EQ(r.key, c.key);
        EXPECT_EQ(r.source, c.source);
    }
}

TEST(BundledKeyTest, SanitizeTable) {
    const QString forty(40, u'k');
    const struct {
        const char* name;
        QString raw;
        std::optional<QString> key;
    } cases[] = {
        {"newlines around a 40-character key", "\n " + forty + "\r\n", forty},
        {"20 characters", QString(20, u'k'), QString(20, u'k')},
        {"19 characters", QString(19, u'k'), {}},
        {"inner space", "sk-0123456789 abcdefghij", {}},
        {"a Cyrillic letter", "sk-0123456789abcdefghiж", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(BundledKey::sanitize(c.raw), c.key) << c.name;
}

TEST(BundledKeyTest, ReadOncePerProcessAndLoggedWithoutTheKey) {
    test::TestEnvironment env;
    const QString path = env.root() + "/bundled-key.txt";
    const QString forty(40, u'k');
    test::writeFile(path, "\n" + forty.toUtf8() + "\n");
    BundledKey::resetForTesting(path);
    EXPECT_EQ(BundledKey::value(), forty);
    EXPECT_TRUE(env.logContains("ключ сборки: встроен (40 симв.)"));
    EXPECT_FALSE(env.logContains(forty));

    test::writeFile(path, "sk-too short");
    BundledKey::resetForTesting(path);
    EXPECT_EQ(BundledKey::value(), std::nullopt);
    test::writeFile(path, QByteArray(30, 'k'));
    EXPECT_EQ(BundledKey::value(), std::nullopt);  // the change is not noticed until a restart
    EXPECT_EQ(env.logText().count("файл есть, но значение не похоже на ключ — игнорирую"), 1);

    BundledKey::resetForTesting(env.root() + "/absent.txt");
    EXPECT_EQ(BundledKey::value(), std::nullopt);
    BundledKey::resetForTesting();
}

}  // namespace
