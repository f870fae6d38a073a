#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

namespace murmelo {

// The user's secret store (the desktop's Secret Service) as the AI key store needs it: one
// item per service and account, read, written in place, removed. Calls may wait on the store
// (an unlock prompt): they are made off the main thread or with a bound by the caller.
//
// Results are status codes in the manner of the macOS key store, so that log lines stay
// comparable: 0 is success, the named codes below are the failures the caller explains, and
// any other value is the backend's own error code.
class KeyStore {
public:
    static constexpr int OK = 0;
    static constexpr int NOT_FOUND = -25300;       // no such item
    static constexpr int LOCKED = -25308;          // the collection is locked and was not unlocked
    static constexpr int DISMISSED = -128;         // the user closed the unlock prompt
    static constexpr int NO_SERVICE = -25291;      // no secret service on the session bus
    static constexpr int FAILED = -1;              // anything the backend cannot name

    struct ReadResult {
        int status = NOT_FOUND;
        QByteArray data;  // the item's secret when status is OK
    };

    virtual ~KeyStore() = default;

    virtual ReadResult read(const QString& service, const QString& account) = 0;
    // Creates the item or replaces its secret in place: a failed write leaves the old secret.
    virtual int write(const QString& service, const QString& account, const QString& label,
                      const QByteArray& secret) = 0;
    // OK when the item is gone afterwards, NOT_FOUND when there was none.
    virtual int remove(const QString& service, const QString& account) = 0;

    static KeyStore& shared();
    static void install(KeyStore* store);
};

}  // namespace murmelo
