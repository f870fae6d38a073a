#pragma once
#include "platform/MainQueue.h"
#include "polish/PolishScope.h"

#include <QString>
#include <memory>
#include <optional>

namespace murmelo {

// The polish key tap: a short press and release with no other key in between schedules a
// paragraph polish 0.3 s later; a second tap in that time cancels it. Main thread only.
class PolishTap {
public:
    static constexpr double TAP_LIMIT = 0.4;
    static constexpr double TAP_DELAY = 0.3;

    // What the tap asks of the polish routes that own it.
    class Owner {
    public:
        virtual ~Owner() = default;
        // Runs the polish gesture.
        virtual void performPolish(PolishScopeMode mode) = 0;
        // Whether a dictation is recording (a tap is then ignored).
        virtual bool isRecording() = 0;
        // The count of physical key downs: a change between the press and the release
        // means the key served as a modifier.
        virtual quint64 keyCount() = 0;
    };

    explicit PolishTap(Owner& owner);
    ~PolishTap();
    PolishTap(const PolishTap&) = delete;
    PolishTap& operator=(const PolishTap&) = delete;

    void notePolishDown();
    void notePolishUp();
    // Drops a waiting tap polish, saying why in the log.
    void cancelPendingPolish(const QString& reason);
    bool hasPendingPolish() const { return pending_.isPending(); }

private:
    Owner& owner_;
    std::optional<double> downAt_;  // uptime of the press
    quint64 keysAtDown_ = 0;
    TimerHandle pending_;
    // Lets a waiting work item notice that this tap is gone.
    std::shared_ptr<PolishTap*> self_;
};

}  // namespace murmelo
