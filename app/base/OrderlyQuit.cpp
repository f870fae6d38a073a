#include "base/OrderlyQuit.h"

#include "base/Log.h"

#include <QCoreApplication>
#include <vector>

namespace murmelo::OrderlyQuit {
namespace {

std::vector<std::function<void()>> g_flushes;
bool g_flushed = false;
std::function<void(const QString&)> g_handler;

}  // namespace

void addFlushCallback(std::function<void()> flush) { g_flushes.push_back(std::move(flush)); }

void runFlushCallbacks() {
    if (g_flushed) return;
    g_flushed = true;
    for (auto& f : g_flushes) f();
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
    g_flushed = false;
    g_handler = nullptr;
}

}  // namespace murmelo::OrderlyQuit
