#pragma once
#include "platform/Accessibility.h"

#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// An in-process stand-in for everything the layout switcher acts on outside the program: the
// focused field, the keyboard's input source, the clipboard paste and the local corrector.
// While stand mode is on and a stage is installed, the switcher's writes, its accessibility
// reads and its input-source operations go here instead of the system, so that a whole
// correction runs deterministically and can be inspected afterwards. Nothing in the
// application installs a stage or turns stand mode on: whoever drives the stand does (the
// simulated desktop's stage, sim/SimComposeStage.h). Main thread.
class ComposeStage {
public:
    virtual ~ComposeStage() = default;

    // Text the switcher types, pastes and erases (Backspace presses), with the origin name of
    // the writer.
    virtual void machineInsert(const QString& text, const QString& origin) = 0;
    virtual void machinePaste(const QString& text, const QString& origin) = 0;
    virtual void machineErase(int count, const QString& origin) = 0;
    // A single key the switcher sends (shortcuts, arrows, Return), with the core's key code and
    // flags: later work selects, copies and pastes through these.
    virtual void machineKey(quint16 keyCode, quint64 flags, const QString& origin) = 0;

    // The field as accessibility sees it, in UTF-16 units.
    virtual QString axValue() = 0;
    virtual qsizetype axCaret() = 0;
    virtual void axSetCaret(qsizetype offset) = 0;
    // False, changing nothing, unless accessibility delivery is forced.
    virtual bool axReplace(AXRange range, const QString& replacement, const QString& origin) = 0;

    // The input source the system reports, and selecting one (which always succeeds).
    virtual QString sourceID() const = 0;
    virtual void setSourceID(const QString& sourceID) = 0;
    virtual void selectSource(const QString& sourceID) = 0;
    virtual void reselectSource(const QString& sourceID) = 0;

    // The element presented as the focused element; none means no focused element.
    AXElementPtr fieldElement;
    // Accessibility reads and writes are answered by the stage's own text.
    bool virtualField = false;
    // The switcher delivers by accessibility writes, and axReplace accepts them.
    bool forceAXDelivery = false;
    // The simulated corrector service and its latency in seconds.
    std::function<std::optional<QString>(const QString&)> corrector;
    double correctorDelay = 0.1;

    bool hasLiveField() const { return fieldElement != nullptr; }

    // The installed stage, or none. It can be replaced or cleared at any time.
    static ComposeStage* installed();
    static void install(ComposeStage* stage);
    // Once switched on, stand mode stays on for the life of the process: turning it off has
    // no effect, so that a stand never leaks half its writes to the real desktop.
    static bool standMode();
    static void setStandMode(bool on);
    // The stage to use now: the installed one while stand mode is on, else none.
    static ComposeStage* active() { return standMode() ? installed() : nullptr; }
    // Tests only: a fresh process's state (no stage, stand mode off).
    static void resetForTesting();
};

}  // namespace murmelo
