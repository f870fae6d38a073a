#pragma once
#include "input/TextWriteTrace.h"
#include "layout/LayoutGates.h"

#include <QDateTime>
#include <optional>

namespace murmelo {

// The engine's hands in other applications' fields: marked synthetic keys, accessibility
// writes and clipboard pastes, and the one erase-then-type step corrections and undo use.
// While stand mode is on, every write goes to the installed stage instead (none without one).
// Main thread only.
class LayoutOutput {
public:
    LayoutOutput(LayoutSwitcher& engine, LayoutAppGates& gates) : engine_(engine), gates_(gates) {}

    // One key down and up, marked as ours. Only a bare Return is traced.
    void sendKey(quint16 keyCode, quint64 flags = 0);
    // Types the text one grapheme at a time; the finished trace, or none for empty text.
    std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin = TextWriteOrigin::layout);
    void sendBackspaces(int count, TextWriteOrigin origin = TextWriteOrigin::layout);
    // Replaces the count characters before the caret; true when written and confirmed.
    bool deliverViaAX(int count, const QString& text);
    // Erases count characters and types the text; the route used.
    TextWriteRoute deliver(int count, const QString& text, LayoutSwitcher::UndoTransport transport);
    void pasteAtomically(const QString& text, TextWriteOrigin origin);

    // Diagnostics of the focused field, written only while the field probe is on and no
    // correction observer is set: before every Backspace run, and (at most every 2 s) when a
    // key arrives in an application the user excluded.
    void probeFieldBeforeErase(int count);
    void probeExcludedFieldCapability();
    // MURMELO_LAYOUT_FIELD_PROBE is "1"; read once per process.
    static bool fieldProbeFromEnvironment();
    bool fieldProbe = fieldProbeFromEnvironment();
    static constexpr double excludedProbeInterval = 2.0;

private:
    int postPair(quint16 keyCode, quint64 flags, const QString& unicode = {});
    void eraseByKeys(int count, TextWriteOrigin origin);
    void noteWrite();

    bool probeSilent() const { return !fieldProbe || bool(engine_.correctionSink); }

    LayoutSwitcher& engine_;
    LayoutAppGates& gates_;
    // Uptime of the last diagnostic of an excluded application's field.
    std::optional<double> excludedProbeAt_;
};

class LayoutSourceSelection;

}  // namespace murmelo
