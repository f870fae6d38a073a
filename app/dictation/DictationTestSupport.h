#pragma once
#include "dictation/DictationPolish.h"

#include <QString>

namespace murmelo::test {

// Polish as a dictation test needs it: every cleaned text passes the guard, and the live
// polish a dictation stands down is counted.
struct PolishForDictation final : DictationPolish {
    QString rewriteGuardAccept(const QString&, const QString& candidate, const QString&) override { return candidate; }
    void cancelPolishLive() override { ++liveCancels; }
    int liveCancels = 0;
};

}  // namespace murmelo::test
