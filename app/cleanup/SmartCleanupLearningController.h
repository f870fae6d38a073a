#pragma once
#include "cleanup/SmartCleanupScenarioStore.h"
#include "cleanup/SmartCleanupShadowMonitor.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace murmelo {

// A modal alert as the user sees it: texts and buttons, first button first.
struct SmartCleanupAlert {
    QString message;
    QString informativeText;
    QStringList buttons;

    bool operator==(const SmartCleanupAlert&) const = default;

    // The self-test status after a fresh evaluation; "Удалить мои сценарии" only when the
    // user has confirmed scenarios.
    static SmartCleanupAlert status(const SmartCleanupEvaluationReport& report, const SmartCleanupShadowSnapshot& shadow);
    static SmartCleanupAlert deleteConfirmed();

    // Shows the alert modally over other applications' windows; answers the index of the
    // chosen button (-1 when none was chosen).
    int run() const;
    // Tests answer for the user.
    using Runner = std::function<int(const SmartCleanupAlert&)>;
    static void setRunner(Runner runner);
};

// The self-test status opened from the status menu, and deletion of the user's scenarios.
class SmartCleanupLearningController {
public:
    static SmartCleanupLearningController& shared();

    // Main thread: runs a fresh evaluation (which re-activates the skills) and shows it.
    void showStatus();
};

}  // namespace murmelo
