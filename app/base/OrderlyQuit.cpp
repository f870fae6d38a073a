#include "base/OrderlyQuit.h"

#include "base/Log.h"

#include <QCoreApplication>
#include <vector>

namespace murmelo::OrderlyQuit {
namespace {

std::vector<std::function<void()>> g_flushes;
size_t g_ran = 0;  // callbacks already run, in order
std::function<void(const QString&)> g_handler;

}  // namespace

void addFlushCallback(std::function<void()> flush) { g_flushes.push_back(std::move(flush)); }

void runFlushCallbacks() {
    // By index: a callback may register another, which runs in this same pass.
    while (g_ran < g_flushes.size()) {
        std::function<void()> f = g_flushes[g_ran++];
        f();
    }
}

void setHandler(std::function<void(const QString&)> handler) { g_handler = std::move(handler); }

void request(const QString& reason) {
    logLine(QStringLiteral("выход: ") + reason + QStringLiteral(" — штатный выход, не смерть"));
    if (g_handler) {
        g_handler(reason);
        return;
    }
    runFlushCallbacks();
    QCoreApplication::quit();
}

void resetForTesting() {
    g_flushes.clear();
    g_ran = 0;
    g_handler = nullptr;
}

}  // namespace murmelo::OrderlyQuit
