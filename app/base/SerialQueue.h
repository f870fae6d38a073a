#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace murmelo {

// One worker thread that runs jobs in the order given. Made for the process's life (the
// worker is detached): work may still run while the program quits, and nothing waits for it.
class SerialQueue {
public:
    SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> job);
    // Returns once every job given so far has run.
    void waitUntilIdle();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool busy_ = false;
};

}  // namespace murmelo
