#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the input layer. Each entry calls the real
// thing; tests install their own (ScopedService) to watch the order of the calls.
struct InputSeam {
    static InputSeam& shared() { return sharedService<InputSeam>(); }
    InputSeam();

    std::function<bool()> installTap = [] { return false; };
    std::function<void()> startTapGuard = [] {};
    std::function<void()> secureInputStart = [] {};
    std::function<void()> clipboardManagerStart = [] {};
    std::function<bool()> isProcessTrusted;
};

}  // namespace murmelo
