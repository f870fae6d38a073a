#pragma once
#include <QString>
#include <functional>

namespace murmelo::AudioRoute {

// The default input device as the log names it: its name, "устройство N" when the name
// cannot be read, "нет устройства" when there is none.
QString currentInputName();

// Subscribes once to changes of the default input device; onChange runs on the main queue
// after each. A failed subscription may be retried by a later call.
void startListening(std::function<void()> onChange);

// Forgets the subscription flag (the installed input is the test's).
void resetForTesting();

}  // namespace murmelo::AudioRoute
