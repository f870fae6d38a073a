#pragma once
#include "platform/MainQueue.h"
#include "polish/PolishScope.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// The polish key tap: a short press and release with no other key in between schedules a
// paragraph polish 0.3 s later; a second tap in that time cancels it. Main thread only.
class PolishTap {
public:
    static constexpr double TAP_LIMIT = 0.4;
    static constexpr double TAP_DELAY = 0.3;

    PolishTap();
    ~PolishTap();
    PolishTap(const PolishTap&) = delete;
    PolishTap& operator=(const PolishTap&) = delete;

    void notePolishDown();
    void notePolishUp();
    // Drops a waiting tap polish, saying why in the log.
    void cancelPendingPolish(const QString& reason);
    bool hasPendingPolish() const { return pending_.isPending(); }

    // Runs the polish gesture; set by the owner of the polish routes.
    std::function<void(PolishScopeMode)> perform;
    // Whether a dictation is recording (a tap is then ignored); the dictation's by default.
    std::function<bool()> isRecording;
    // The count of physical key downs, when the owner keeps one: a change between the press
    // and the release means the key served as a modifier.
    std::function<quint64()> keyCount;

private:
    std::optional<double> downAt_;  // uptime of the press
    quint64 keysAtDown_ = 0;
    TimerHandle pending_;
    // Lets a waiting work item notice that this tap is gone.
    std::shared_ptr<PolishTap*> self_;
};

}  // namespace murmelo
