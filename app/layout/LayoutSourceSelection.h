#pragma once
#include "layout/LayoutSwitcher.h"

#include <QDateTime>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// The engine's own switches of the input source: asked for with a ticket, performed a moment
// later only while no user action has overtaken it, and checked to have arrived. The windows
// and the last own selection it arms are the engine's fields. While stand mode is on the stage
// is selected instead of the system. Main thread only.
class LayoutSourceSelection {
public:
    explicit LayoutSourceSelection(LayoutSwitcher& engine);
    ~LayoutSourceSelection();
    LayoutSourceSelection(const LayoutSourceSelection&) = delete;
    LayoutSourceSelection& operator=(const LayoutSourceSelection&) = delete;

    // True when a selection of the source was scheduled. The completion is not called when
    // the source is not enabled or the authority refuses: the false answer says it.
    bool selectExactSource(const QString& sourceID, bool retry, const std::optional<QString>& cue = std::nullopt,
                           std::function<void(bool)> completion = {});
    bool selectLayout(const QString& language, bool retry, const std::optional<QString>& cue = std::nullopt,
                      std::function<void(bool)> completion = {});
    // Selects the source again at once, without ticket, cue or checks; milliseconds taken.
    std::optional<double> fireIdleReselect(const QString& sourceID);

    // Performs a selection instead of the system; true when it succeeded.
    std::function<bool(const QString& sourceID)> selectOverride;
    // Plays the cue of a selection ("ru", "en", "rollback"); the switch sound unless replaced.
    std::function<void(const QString& cue)> playCue;
    // Whether the release gate asks every selection to fail; asked before every attempt.
    std::function<bool()> releaseGateForcesFailure;

    static constexpr double recheckDelay = 0.05;
    static constexpr double arrivalCheckDelay = 0.06;

private:
    void perform(std::optional<quint64> ticket, const std::optional<QString>& expected, const QString& target,
                 const std::optional<QString>& cue, const std::function<void(bool)>& completion);
    bool selectNow(const QString& sourceID);
    void failed(const std::function<void(bool)>& completion);

    LayoutSwitcher& engine_;
    std::shared_ptr<bool> alive_;
};

}  // namespace murmelo
