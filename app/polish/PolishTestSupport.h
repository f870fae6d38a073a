#pragma once
#include "polish/PolishResult.h"

#include <QString>
#include <functional>

namespace murmelo::test {

// Protected words as a test decides them; without word tables every word stays the person's.
struct ProtectedWords final : PolishProtectedWords {
    std::function<bool(const QString& word)> protects = [](const QString&) { return true; };
    bool polishProtects(const QString& word) override { return protects(word); }
};

}  // namespace murmelo::test
