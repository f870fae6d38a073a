#pragma once
#include <QString>
#include <functional>

namespace murmelo::OrderlyQuit {

// What must be written before the process ends (statistics, settings). Each callback runs
// once, in registration order; one registered after an early run runs at the next call.
void addFlushCallback(std::function<void()> flush);
void runFlushCallbacks();

// The orderly quit that a termination request from the session (SIGTERM at logout) takes
// instead of a raw death. The default runs the flush callbacks and quits the event loop;
// the application's quit flow replaces it with its own.
void setHandler(std::function<void(const QString& reason)> handler);
void request(const QString& reason);

void resetForTesting();

}  // namespace murmelo::OrderlyQuit
