#include "meetings/FloatRing.h"

#include <algorithm>
#include <cstring>

namespace murmelo {

FloatRing::FloatRing(qint64 capacity) : storage_(size_t(std::max<qint64>(capacity, 1)), 0.0f), capacity_(std::max<qint64>(capacity, 1)) {}

void FloatRing::push(const float* samples, size_t count) {
    if (count == 0) return;
    std::lock_guard lock(lock_);
    const qint64 n = qint64(count);
    if (capacity_ - available_ < n) {
        // Nothing of the chunk is kept, so all of it is lost.
        dropped_ += n;
        return;
    }
    const qint64 first = std::min(n, capacity_ - writeIndex_);
    std::memcpy(storage_.data() + writeIndex_, samples, size_t(first) * sizeof(float));
    if (first < n) std::memcpy(storage_.data(), samples + first, size_t(n - first) * sizeof(float));
    writeIndex_ = (writeIndex_ + n) % capacity_;
    available_ += n;
}

void FloatRing::takeAll(std::vector<float>& out) {
    // Room for a full ring up front keeps allocation out of the lock.
    out.reserve(size_t(capacity_));
    std::lock_guard lock(lock_);
    out.resize(size_t(available_));
    const qint64 start = (writeIndex_ - available_ + 2 * capacity_) % capacity_;
    const qint64 first = std::min(available_, capacity_ - start);
    std::memcpy(out.data(), storage_.data() + start, size_t(first) * sizeof(float));
    if (first < available_) std::memcpy(out.data() + first, storage_.data(), size_t(available_ - first) * sizeof(float));
    available_ = 0;
}

qint64 FloatRing::dropped() const {
    std::lock_guard lock(lock_);
    return dropped_;
}

}  // namespace murmelo
