// GLib's headers use "signals" as a name, which Qt defines as a macro.
#undef signals
#include <glib.h>

#include "linux/GlibCallThread.h"

#include <chrono>

namespace murmelo::linuxdesktop {

bool CallTicket::commit() {
    std::lock_guard lock(mutex_);
    if (phase_ == Phase::abandoned) return false;
    phase_ = Phase::changing;
    return true;
}

bool CallTicket::await(double seconds, double changeGrace) {
    std::unique_lock lock(mutex_);
    const auto done = [this] { return phase_ == Phase::done; };
    if (doneChanged_.wait_for(lock, std::chrono::duration<double>(seconds), done)) return true;
    if (phase_ == Phase::changing && doneChanged_.wait_for(lock, std::chrono::duration<double>(changeGrace), done))
        return true;
    phase_ = Phase::abandoned;
    return false;
}

void CallTicket::run() {
    {
        std::lock_guard lock(mutex_);
        if (phase_ == Phase::abandoned) return;  // the caller gave up before it started
        phase_ = Phase::running;
    }
    body_(*this);
    {
        std::lock_guard lock(mutex_);
        if (phase_ != Phase::abandoned) phase_ = Phase::done;
    }
    doneChanged_.notify_all();
}

namespace {

using Task = std::function<void()>;

void invoke(GMainContext* context, Task task) {
    g_main_context_invoke_full(
        context, G_PRIORITY_DEFAULT,
        [](gpointer p) -> gboolean {
            (*static_cast<Task*>(p))();
            return G_SOURCE_REMOVE;
        },
        new Task(std::move(task)), [](gpointer p) { delete static_cast<Task*>(p); });
}

}  // namespace

GlibCallThread::GlibCallThread() {
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([context = context_, loop = loop_] {
        g_main_context_push_thread_default(context);
        g_main_loop_run(loop);
        g_main_context_pop_thread_default(context);
    });
}

GlibCallThread::~GlibCallThread() {
    // Quitting from inside the loop: a quit before the loop runs would be lost.
    GMainLoop* loop = loop_;
    post([loop] { g_main_loop_quit(loop); });
    if (thread_.joinable()) thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

std::shared_ptr<CallTicket> GlibCallThread::submit(std::function<void(CallGate&)> body) {
    auto ticket = std::make_shared<CallTicket>();
    ticket->body_ = std::move(body);
    invoke(context_, [ticket] { ticket->run(); });
    return ticket;
}

void GlibCallThread::post(std::function<void()> fn) { invoke(context_, std::move(fn)); }

}  // namespace murmelo::linuxdesktop
