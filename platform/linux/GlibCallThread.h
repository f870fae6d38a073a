#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace murmelo::linuxdesktop {

// What a call may ask while it runs on the thread.
class CallGate {
public:
    // Asked right before the step that changes another program. False once the caller has
    // given up waiting: the call must then leave the other program as it is.
    virtual bool commit() = 0;

protected:
    ~CallGate() = default;
};

// A call handed to the thread, as its caller sees it.
class CallTicket : public CallGate {
public:
    bool commit() override;
    // Waits until the call is done, at most `seconds`; a call that has begun its change by
    // then is waited for `changeGrace` seconds more, so that the caller learns whether the
    // change happened. False when the call is not done: it is then abandoned, so that it
    // never starts if it has not yet, and its commit() refuses.
    bool await(double seconds, double changeGrace);

private:
    friend class GlibCallThread;
    enum class Phase { queued, running, changing, done, abandoned };
    void run();

    std::mutex mutex_;
    std::condition_variable doneChanged_;
    Phase phase_ = Phase::queued;
    std::function<void(CallGate&)> body_;
};

// A thread with a GLib main context of its own that runs the calls handed to it one at a
// time, in order. Libraries that are not safe from two threads (libatspi) are called on
// such a thread only; callers wait for an answer a bounded time and never run the
// library's loop themselves.
class GlibCallThread {
public:
    GlibCallThread();
    ~GlibCallThread();
    GlibCallThread(const GlibCallThread&) = delete;
    GlibCallThread& operator=(const GlibCallThread&) = delete;

    GMainContext* context() const { return context_; }

    // Queues a call; the ticket tells when it is done.
    std::shared_ptr<CallTicket> submit(std::function<void(CallGate&)> body);

    // Runs fn on the thread and answers its result, or nothing when it was not done in
    // time (see CallTicket::await).
    template <class R>
    std::optional<R> call(std::function<R(CallGate&)> fn, double seconds, double changeGrace = 0) {
        auto result = std::make_shared<std::optional<R>>();
        auto ticket = submit([fn = std::move(fn), result](CallGate& gate) { *result = fn(gate); });
        if (!ticket->await(seconds, changeGrace)) return std::nullopt;
        return std::move(*result);
    }

    // Runs fn on the thread without waiting for it.
    void post(std::function<void()> fn);

private:
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
};

}  // namespace murmelo::linuxdesktop
