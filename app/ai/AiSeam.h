#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of AI access and Quick Actions. Until that subsystem
// is built each entry does nothing or answers its empty value; its library fills them.
struct AiSeam {
    static AiSeam& shared() { return sharedService<AiSeam>(); }
    std::function<bool()> openAIKeychainRepairAccess = [] { return false; };
    std::function<bool()> aiProviderIsReady = [] { return false; };
    std::function<void()> quickActionsDismiss = [] {};
};

}  // namespace murmelo
