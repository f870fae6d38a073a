#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of dictation clean-up. Until that subsystem
// is built each entry does nothing or answers its empty value; its library fills them.
struct CleanupSeam {
    static CleanupSeam& shared() { return sharedService<CleanupSeam>(); }
    std::function<void()> migrateSmartCleanupDefaultToLiteral = [] {};
    std::function<QString()> currentSmartCleanupModeTitle = [] { return QString(); };
    std::function<void()> smartCleanupSelfLearningStart = [] {};
};

}  // namespace murmelo
