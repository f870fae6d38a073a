#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of AI access and Quick Actions. The
// constructor binds the built entries to the AI library; the others do nothing until their
// part is built.
struct AiSeam {
    static AiSeam& shared() { return sharedService<AiSeam>(); }
    AiSeam();
    // On a worker: true once a stored key is readable.
    std::function<bool()> openAIKeychainRepairAccess = [] { return false; };
    // On a worker: reads the stored key ahead, since a read may wait on an unlock prompt.
    std::function<void()> openAIKeychainWarmUp = [] {};
    std::function<bool()> aiProviderIsReady = [] { return false; };
    std::function<void()> quickActionsDismiss = [] {};
};

}  // namespace murmelo
