#pragma once
#include "layout/LayoutGates.h"
#include "layout/LayoutSwitcher.h"
#include "platform/Accessibility.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// One read of the focused field of an application, as the probe got it.
struct AXProbeReading {
    enum class Kind { ok, noFocus, noValue, noCaret, timeout };
    Kind kind = Kind::noFocus;
    QString text;             // ok: the field's value
    qint64 caret = -1;        // ok, noValue: where the selection starts (UTF-16), -1 when unreadable
    qint64 length = 0;        // noCaret: the value's length (UTF-16)
    AXError error = AXError::success;  // noFocus: what the application answered
    QString stage;            // timeout: "focus", "value" or "caret"

    static AXProbeReading ok(QString text, qint64 caret) { return {Kind::ok, std::move(text), caret, 0, AXError::success, {}}; }
    static AXProbeReading noFocus(AXError e) { return {Kind::noFocus, {}, -1, 0, e, {}}; }
    static AXProbeReading noValue(qint64 caret) { return {Kind::noValue, {}, caret, 0, AXError::success, {}}; }
    static AXProbeReading noCaret(qint64 length) { return {Kind::noCaret, {}, -1, length, AXError::success, {}}; }
    static AXProbeReading timedOut(QString stage) { return {Kind::timeout, {}, -1, 0, AXError::success, std::move(stage)}; }
};

namespace AXProbeReader {
// Reads the value and caret of the focused element of the process, each call bounded by the
// time-out. Touches nothing but the accessibility interface: safe off the main thread.
AXProbeReading read(qint64 pid, float timeout);
}  // namespace AXProbeReader

// Reads what the focused field really shows around the word being typed, on a thread of
// its own, and lets the screen overrule the key stream when the field shows the word in the
// other layout. At most one read in flight; answers come back on the main queue and are
// dropped when the word changed meanwhile. Main thread only, except the read itself.
class LayoutFieldProbe {
public:
    using Reader = std::function<AXProbeReading(qint64 pid, float timeout)>;

    LayoutFieldProbe(LayoutSwitcher& engine, LayoutAppGates& gates);
    LayoutFieldProbe(const LayoutFieldProbe&) = delete;
    LayoutFieldProbe& operator=(const LayoutFieldProbe&) = delete;

    static constexpr float axProbeTimeout = 0.5f;
    static constexpr double probeDelay = 0.06;
    static constexpr double noFocusRetryDelay = 0.2;
    static constexpr double afterScreenWordDelay = 0.25;

    // The reading function; tests put their own in its place.
    Reader axProbeReader = AXProbeReader::read;

    void scheduleAXEditProbe();
    void scheduleAXProbe(const QString& source, bool requireEditMode, double delay);
    void startAXProbe(const QString& source, bool requireEditMode, int attempt);
    void scheduleAXProbeOnMismatch();
    void finishAXProbe(const AXProbeReading& reading, qint64 ms, const QString& word, quint64 gen, const QString& app,
                       const QString& source, bool requireEditMode, int attempt);
    void noteScreenTruth(bool match, const QString& field, const QString& word, const QString& app);

    // The verdict while it is still valid: young enough and taken in the focused application.
    std::optional<ScreenTruthVerdict> armedScreenTruth();
    // The finished word as the screen shows it; spends the verdict when it changes the word.
    QString screenTruthWord(const QString& word);

    // The text and caret of the focused field when it has a caret and no selection.
    static std::optional<std::pair<QString, int>> focusedValueAndCaret();

    // Returns once the reads handed to the probe's thread so far have ended (their answers
    // are then on the main queue).
    static void waitForReads();

private:
    LayoutSwitcher& engine_;
    LayoutAppGates& gates_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murmelo
