#include "sim/SimKeyStore.h"

namespace murmelo::sim {

KeyStore::ReadResult SimKeyStore::read(const QString& service, const QString& account) {
    std::unique_lock lock(mutex_);
    gateOpened_.wait(lock, [this] { return !gateClosed_; });
    ++reads_;
    if (readStatus_ != OK) return {readStatus_, {}};
    const auto it = items_.find({service, account});
    if (it == items_.end()) return {NOT_FOUND, {}};
    return {OK, it->second.secret};
}

int SimKeyStore::write(const QString& service, const QString& account, const QString& label,
                       const QByteArray& secret) {
    std::lock_guard lock(mutex_);
    ++writes_;
    if (writeStatus_ != OK) return writeStatus_;
    items_[{service, account}] = Item{label, secret};
    return OK;
}

int SimKeyStore::remove(const QString& service, const QString& account) {
    std::lock_guard lock(mutex_);
    if (removeStatus_ != OK) return removeStatus_;
    return items_.erase({service, account}) ? OK : NOT_FOUND;
}

void SimKeyStore::failReads(int status) {
    std::lock_guard lock(mutex_);
    readStatus_ = status;
}

void SimKeyStore::failWrites(int status) {
    std::lock_guard lock(mutex_);
    writeStatus_ = status;
}

void SimKeyStore::failRemoves(int status) {
    std::lock_guard lock(mutex_);
    removeStatus_ = status;
}

void SimKeyStore::closeGate() {
    std::lock_guard lock(mutex_);
    gateClosed_ = true;
}

void SimKeyStore::openGate() {
    {
        std::lock_guard lock(mutex_);
        gateClosed_ = false;
    }
    gateOpened_.notify_all();
}

std::optional<SimKeyStore::Item> SimKeyStore::item(const QString& service, const QString& account) const {
    std::lock_guard lock(mutex_);
    const auto it = items_.find({service, account});
    if (it == items_.end()) return std::nullopt;
    return it->second;
}

int SimKeyStore::reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

int SimKeyStore::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

}  // namespace murmelo::sim
