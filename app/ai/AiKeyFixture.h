#pragma once
// A test with a fresh environment, a simulated key store and no build key: the personal key
// is what the test stores.
#include "ai/OpenAIKeychain.h"

#include "TestEnvironment.h"
#include "sim/SimKeyStore.h"

#include <gtest/gtest.h>

namespace murmelo::test {

class AiKeyFixture : public ::testing::Test {
protected:
    void SetUp() override {
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting(env.root() + "/no-bundled-key.txt");
    }
    void TearDown() override {
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting();
    }
    void storePersonal(const QString& key) {
        keys.write("com.local.murmelo.openai", "api-key", "label", key.toUtf8());
        OpenAIKeychain::shared().invalidateCache();
    }

    TestEnvironment env;
    sim::SimKeyStore keys;
    ScopedService<KeyStore> keysScope{keys};
};

}  // namespace murmelo::test
