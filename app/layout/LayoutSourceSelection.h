#pragma once
#include "layout/LayoutSwitcher.h"

#include <QDateTime>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// What a selection does besides asking the system: the cue it plays ("ru", "en", "rollback")
// and the release check that may ask every selection to fail.
class SelectionEffects {
public:
    virtual ~SelectionEffects() = default;
    virtual void playCue(const QString& cue) = 0;
    // Asked before every attempt.
    virtual bool releaseGateForcesFailure() = 0;
};

// The program's: the switch sound, and the release check of this process's arguments.
class SwitchSoundEffects final : public SelectionEffects {
public:
    void playCue(const QString& cue) override;
    bool releaseGateForcesFailure() override;
};

// The engine's own switches of the input source: asked for with a ticket, performed a moment
// later only while no user action has overtaken it, and checked to have arrived. The windows
// and the last own selection it arms are the engine's fields. While stand mode is on the stage
// is selected instead of the system. Main thread only.
class LayoutSourceSelection {
public:
    LayoutSourceSelection(LayoutSwitcher& engine, SelectionEffects& effects);
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
    // The source current on the system, or on the stage in stand mode.
    static std::optional<QString> systemSourceID();

    static constexpr double recheckDelay = 0.05;
    static constexpr double arrivalCheckDelay = 0.06;

private:
    void perform(std::optional<quint64> ticket, const std::optional<QString>& expected, const QString& target,
                 const std::optional<QString>& cue, const std::function<void(bool)>& completion);
    bool selectNow(const QString& sourceID);
    void failed(const std::function<void(bool)>& completion);

    LayoutSwitcher& engine_;
    SelectionEffects& effects_;
    std::shared_ptr<bool> alive_;
};

}  // namespace murmelo
