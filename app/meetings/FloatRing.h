#pragma once
#include <QtGlobal>
#include <mutex>
#include <vector>

namespace murmelo {

// The hand-over between a real-time audio thread and a channel's queue: a ring of float
// samples under one short lock. A chunk that does not fit is dropped whole and counted;
// push never allocates.
class FloatRing {
public:
    explicit FloatRing(qint64 capacity);

    void push(const float* samples, size_t count);
    // Moves every sample not yet taken into out (replacing its contents), in write order.
    void takeAll(std::vector<float>& out);

    qint64 capacity() const { return capacity_; }
    qint64 dropped() const;

private:
    mutable std::mutex lock_;
    std::vector<float> storage_;
    qint64 capacity_;
    qint64 writeIndex_ = 0;
    qint64 available_ = 0;
    qint64 dropped_ = 0;
};

}  // namespace murmelo
