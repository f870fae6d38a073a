#include "platform/KeyStore.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed there is no store: nothing is kept, nothing is found.
class NoKeyStore : public KeyStore {
public:
    ReadResult read(const QString&, const QString&) override { return {NO_SERVICE, {}}; }
    int write(const QString&, const QString&, const QString&, const QByteArray&) override { return NO_SERVICE; }
    int remove(const QString&, const QString&) override { return NO_SERVICE; }
};

}  // namespace

KeyStore& KeyStore::shared() {
    if (auto* s = installedService<KeyStore>()) return *s;
    static NoKeyStore none;
    return none;
}

void KeyStore::install(KeyStore* store) { installService<KeyStore>(store); }

}  // namespace murmelo
