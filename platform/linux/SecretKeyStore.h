#pragma once
#include "platform/KeyStore.h"

namespace murmelo::linuxdesktop {

// The key store on the desktop's Secret Service (libsecret): one item per service and account
// in the default collection (the login keyring), matched by those two attributes. The calls
// are libsecret's synchronous ones, each with a private main context, so any thread may make
// them; a call may wait on an unlock prompt.
class SecretKeyStore : public KeyStore {
public:
    ReadResult read(const QString& service, const QString& account) override;
    int write(const QString& service, const QString& account, const QString& label, const QByteArray& secret) override;
    int remove(const QString& service, const QString& account) override;
};

}  // namespace murmelo::linuxdesktop
