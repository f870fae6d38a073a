#pragma once
#include <optional>

class QScreen;

namespace murmelo {

// What the state hub asks of the floating presence indicators and the quick panel. The
// presence subsystem derives its indicators from these; until it is there they do nothing.

enum class LadderState { rest, live, think, error };
enum class DropState { idle, recording, recognizing, succeeded };

// The notch "ladder" indicator.
class LadderPresence {
public:
    virtual ~LadderPresence() = default;
    virtual void set(LadderState) {}
    virtual void show() {}
};

// The "drop" indicator.
class DropPresence {
public:
    virtual ~DropPresence() = default;
    virtual void set(DropState, bool /*particleOnly*/ = false, bool /*cloud*/ = false) {}
};

// The quick panel that a plain click on the status item toggles.
class QuickPanelController {
public:
    virtual ~QuickPanelController() = default;
    // The horizontal screen coordinate under which the panel opens.
    std::optional<double> anchorX;
    // Opens the panel (on the screen, when given) or closes it.
    virtual void toggle(QScreen* /*screen*/) {}

    static QuickPanelController& shared();
    static void install(QuickPanelController* controller);
};

}  // namespace murmelo
