#pragma once
#include "platform/KeyStore.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

namespace murmelo::sim {

// An in-memory secret store, safe from any thread. Failures are injected per operation; reads
// can be held at a gate (an unlock prompt nobody answers) until the test opens it.
class SimKeyStore : public KeyStore {
public:
    struct Item {
        QString label;
        QByteArray secret;
    };

    ReadResult read(const QString& service, const QString& account) override;
    int write(const QString& service, const QString& account, const QString& label, const QByteArray& secret) override;
    int remove(const QString& service, const QString& account) override;

    // Every later call of that kind answers this status (OK: behave normally).
    void failReads(int status);
    void failWrites(int status);
    void failRemoves(int status);

    // While closed, reads wait; opening lets them through.
    void closeGate();
    void openGate();

    std::optional<Item> item(const QString& service, const QString& account) const;
    int reads() const;
    int writes() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable gateOpened_;
    std::map<std::pair<QString, QString>, Item> items_;
    int readStatus_ = OK, writeStatus_ = OK, removeStatus_ = OK;
    bool gateClosed_ = false;
    int reads_ = 0, writes_ = 0;
};

}  // namespace murmelo::sim
